// A small line chart on a canvas: the cable length on the left axis and
// the station's temperatures on the right one, over the last minutes.
// Nothing is loaded from elsewhere; the page's colours come from its CSS.
"use strict";

const RavenlinkChart = (() => {
  const series = [
    { key: "length", label: "Cable length (m)", colour: "#1f6feb", axis: "left" },
    { key: "temp1", label: "Temperature 1 (°C)", colour: "#d1242f", axis: "right" },
    { key: "temp2", label: "Temperature 2 (°C)", colour: "#bf8700", axis: "right" },
    { key: "temp3", label: "Temperature 3 (°C)", colour: "#8250df", axis: "right" },
    { key: "temp4", label: "Temperature 4 (°C)", colour: "#1a7f37", axis: "right" },
  ];

  // The range of the values of some series, widened so that a flat line
  // sits in the middle instead of on an edge.
  function range(points, keys) {
    let low = Infinity;
    let high = -Infinity;
    for (const point of points) {
      for (const key of keys) {
        const value = point[key];
        if (typeof value === "number" && isFinite(value)) {
          low = Math.min(low, value);
          high = Math.max(high, value);
        }
      }
    }
    if (low === Infinity) {
      return [0, 1];
    }
    if (high - low < 1) {
      const middle = (high + low) / 2;
      return [middle - 0.5, middle + 0.5];
    }
    const margin = (high - low) * 0.05;
    return [low - margin, high + margin];
  }

  function format(value) {
    return Math.abs(value) >= 100 ? value.toFixed(0) : value.toFixed(1);
  }

  // points: [{t: ms, length, temp1..temp4}], oldest first; span in ms.
  function draw(canvas, points, span, now) {
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth || canvas.width;
    const height = canvas.clientHeight || canvas.height;
    if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
      canvas.width = Math.round(width * ratio);
      canvas.height = Math.round(height * ratio);
    }
    const g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    const style = getComputedStyle(canvas);
    const ink = style.color || "#222";
    const left = 44;
    const right = 40;
    const top = 10;
    const bottom = 22;
    const plotWidth = Math.max(10, width - left - right);
    const plotHeight = Math.max(10, height - top - bottom);
    const x = (t) => left + plotWidth * (1 - (now - t) / span);

    const leftRange = range(points, ["length"]);
    const rightRange = range(points, ["temp1", "temp2", "temp3", "temp4"]);
    const y = (value, [low, high]) => top + plotHeight * (1 - (value - low) / (high - low));

    g.font = "11px system-ui, sans-serif";
    g.strokeStyle = "rgba(128,128,128,0.35)";
    g.fillStyle = ink;
    g.lineWidth = 1;
    for (let i = 0; i <= 4; i++) {
      const lineY = top + (plotHeight * i) / 4;
      g.beginPath();
      g.moveTo(left, lineY);
      g.lineTo(left + plotWidth, lineY);
      g.stroke();
      const share = 1 - i / 4;
      g.textAlign = "right";
      g.fillText(format(leftRange[0] + (leftRange[1] - leftRange[0]) * share), left - 4, lineY + 4);
      g.textAlign = "left";
      g.fillText(format(rightRange[0] + (rightRange[1] - rightRange[0]) * share), left + plotWidth + 4, lineY + 4);
    }
    g.textAlign = "center";
    const minutes = Math.round(span / 60000);
    for (let m = 0; m <= minutes; m++) {
      const labelX = left + plotWidth * (1 - m / minutes);
      g.fillText(m === 0 ? "now" : "-" + m + " min", labelX, height - 6);
    }

    for (const line of series) {
      const scale = line.axis === "left" ? leftRange : rightRange;
      g.strokeStyle = line.colour;
      g.lineWidth = line.key === "length" ? 2.5 : 1.5;
      g.beginPath();
      let drawing = false;
      for (const point of points) {
        const value = point[line.key];
        if (typeof value !== "number" || !isFinite(value) || now - point.t > span) {
          drawing = false;
          continue;
        }
        const px = x(point.t);
        const py = y(value, scale);
        if (drawing) {
          g.lineTo(px, py);
        } else {
          g.moveTo(px, py);
          drawing = true;
        }
      }
      g.stroke();
    }
  }

  return { series, draw };
})();
