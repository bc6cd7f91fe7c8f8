// The fleet page of ravenlink-web: a login with the user's broker account,
// the fleet table and a station's view, live from the server's event
// stream (Server-Sent Events), and the commands for accounts that may send
// them.
//
// The login is kept in memory only (a reload asks again) and sent with
// every request as HTTP Basic. The stream is read with fetch() rather than
// EventSource, which cannot send a login that the page holds; its format is
// the same, and it reconnects by itself in the same way.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const chartSpan = 5 * 60 * 1000;  // the chart's last minutes
  const silenceLimit = 40 * 1000;   // the server writes at least every 15 s

  let login = null;       // "Basic …"
  let me = null;          // the server's /api/me
  const stations = new Map();
  const history = new Map();  // id -> [{t, length, temp1..4}]
  let lastUpdate = 0;     // when the page last heard of a change (its own clock)
  let stream = null;      // the running stream's AbortController
  let retryDelay = 1000;
  let renderQueued = false;
  let heardAt = 0;

  // ---- the server ----

  function request(path, options = {}) {
    const headers = Object.assign({ Authorization: login }, options.headers || {});
    // credentials "omit": the login goes only in this header, never into
    // the browser's own login store, so other sites cannot borrow it.
    return fetch(path, Object.assign({}, options, { headers, credentials: "omit", cache: "no-store" }));
  }

  async function logIn(user, password) {
    const encoded = btoa(String.fromCharCode(...new TextEncoder().encode(user + ":" + password)));
    login = "Basic " + encoded;
    let response;
    try {
      response = await request("/api/me");
    } catch (e) {
      login = null;
      return "The server cannot be reached.";
    }
    if (response.status === 401) {
      login = null;
      return "The broker refused this user name or password.";
    }
    if (!response.ok) {
      login = null;
      const body = await response.json().catch(() => ({}));
      return body.error || "The server answered " + response.status + ".";
    }
    me = await response.json();
    await applySettings();
    return null;
  }

  // Each field takes the bounds that the bridge applies, from the server's
  // vocabulary; without them the bridge still refuses a wrong value.
  async function applySettings() {
    const response = await request("/api/settings").catch(() => null);
    if (!response || !response.ok) {
      return;
    }
    for (const setting of await response.json()) {
      const input = document.querySelector('input[data-setting="' + setting.command + '"]');
      if (input) {
        input.min = setting.min;
        input.max = setting.max;
        input.step = setting.step;
        input.title = setting.range;
      }
    }
  }

  function logOut() {
    login = null;
    me = null;
    if (stream) {
      stream.abort();
      stream = null;
    }
    stations.clear();
    history.clear();
    fleetRows.clear();
    $("fleet-rows").replaceChildren();
    lastUpdate = 0;
    $("banner").hidden = true;
    $("login-password").value = "";
    show();
  }

  // Reads the event stream until it ends, then connects again after a
  // growing pause (1 s, 2 s … 10 s), with a fresh snapshot each time.
  async function connect() {
    if (!login) {
      return;
    }
    const controller = new AbortController();
    stream = controller;
    heardAt = Date.now();
    let ok = false;
    try {
      const response = await request("/api/events", { signal: controller.signal, headers: { Accept: "text/event-stream" } });
      if (response.status === 401) {
        logOut();
        $("login-error").textContent = "The broker no longer accepts this login; log in again.";
        return;
      }
      if (!response.ok || !response.body) {
        throw new Error("status " + response.status);
      }
      const reader = response.body.getReader();
      const decoder = new TextDecoder();
      let pending = "";
      for (;;) {
        const { value, done } = await reader.read();
        if (done) {
          break;
        }
        heardAt = Date.now();
        if (!ok) {
          ok = true;
          retryDelay = 1000;
          setConnected(true);
        }
        pending += decoder.decode(value, { stream: true }).replace(/\r\n?/g, "\n");
        let end;
        while ((end = pending.indexOf("\n\n")) >= 0) {
          handleBlock(pending.slice(0, end));
          pending = pending.slice(end + 2);
        }
      }
    } catch (e) {
      // Aborted, or the network went: either way the stream is over.
    }
    if (stream !== controller) {
      return;  // logged out, or replaced
    }
    stream = null;
    setConnected(false);
    setTimeout(connect, retryDelay);
    retryDelay = Math.min(retryDelay * 2, 10000);
  }

  function handleBlock(block) {
    let name = "message";
    let data = "";
    for (const line of block.split("\n")) {
      if (line.startsWith("event:")) {
        name = line.slice(6).trim();
      } else if (line.startsWith("data:")) {
        data += line.slice(5).replace(/^ /, "");
      }
    }
    if (name === "station") {
      const station = JSON.parse(data);
      stations.set(station.id, station);
      remember(station);
      lastUpdate = Date.now();
      queueRender();
    } else if (name === "broker") {
      setBroker(JSON.parse(data).connected);
    }
  }

  function setConnected(up) {
    $("banner").hidden = up;
    if (!up) {
      $("banner").textContent = "Disconnected from the server: the live view is paused and reconnects by itself.";
    }
  }

  function setBroker(up) {
    $("banner").hidden = up;
    if (!up) {
      $("banner").textContent = "The server lost its broker connection: the live view is paused and reconnects by itself.";
    }
  }

  // A stream that has gone silent for longer than the server's keep-alive
  // is dead even when the network did not say so (a phone that slept).
  setInterval(() => {
    if (stream && Date.now() - heardAt > silenceLimit) {
      stream.abort();
    }
    updateAges();
  }, 1000);

  // ---- what the stations say ----

  // A group of the last status without the fields that the bridge names as
  // holding no value (a failed or missing part's measurement): they show as
  // "—" and stay out of the chart, instead of showing a meaningless number.
  function group(station, name) {
    const status = station.status && station.status.status;
    if (!status || !status[name]) {
      return null;
    }
    const shown = Object.assign({}, status[name]);
    for (const path of station.status.noValue || []) {
      if (path.startsWith(name + ".")) {
        delete shown[path.slice(name.length + 1)];
      }
    }
    return shown;
  }

  function remember(station) {
    const cab = group(station, "cab");
    const env = group(station, "env");
    if (!cab && !env) {
      return;
    }
    const point = { t: Date.now() };
    if (cab) {
      point.length = cab.length;
    }
    if (env) {
      for (const key of ["temp1", "temp2", "temp3", "temp4"]) {
        point[key] = env[key];
      }
    }
    let points = history.get(station.id);
    if (!points) {
      points = [];
      history.set(station.id, points);
    }
    points.push(point);
    while (points.length && point.t - points[0].t > chartSpan) {
      points.shift();
    }
  }

  // The worst thing about a station: rank 0 is the worst.
  function worst(station) {
    const findings = station.findings || [];
    const error = findings.find((f) => f.severity === "error");
    if (error) {
      return { rank: 0, level: "error", text: error.text };
    }
    if (station.state && station.state !== "online") {
      const reason = station.check && station.check.reason;
      return { rank: 1, level: "unknown", text: station.state === "offline" ? "bridge offline" : reason || station.state };
    }
    if (station.check && station.check.state === "unknown") {
      return { rank: 1, level: "unknown", text: station.check.reason || "unknown" };
    }
    const warning = findings.find((f) => f.severity === "warning");
    if (warning) {
      return { rank: 2, level: "warning", text: warning.text };
    }
    if (!station.check) {
      return { rank: 3, level: "unknown", text: "not checked yet" };
    }
    return { rank: 4, level: "ok", text: "none" };
  }

  const levelWords = { error: "Error", warning: "Warning", unknown: "Unknown", ok: "OK" };

  function number(value, digits, unit) {
    return typeof value === "number" && isFinite(value) ? value.toFixed(digits) + " " + unit : "—";
  }

  function ageText(ms) {
    const seconds = Math.max(0, Math.round(ms / 1000));
    if (seconds < 60) {
      return seconds + " s ago";
    }
    const minutes = Math.floor(seconds / 60);
    return minutes < 60 ? minutes + " min ago" : Math.floor(minutes / 60) + " h ago";
  }

  function updateAges() {
    $("last-update").textContent = lastUpdate ? ageText(Date.now() - lastUpdate) : "none yet";
    const id = currentStation();
    const station = id && stations.get(id);
    if (station) {
      $("station-age").textContent = ageText(Date.now() - Date.parse(station.updated)) + " (" + station.updated + ")";
    }
  }

  // ---- drawing ----

  function queueRender() {
    if (!renderQueued) {
      renderQueued = true;
      // Many stations at once draw once, not once each.
      setTimeout(() => {
        renderQueued = false;
        render();
      }, 200);
    }
  }

  // One row per station, made once and then only changed where its text
  // changes, so that the keyboard's place and a screen reader's stay put.
  const fleetRows = new Map();  // id -> {row, cells}
  const columns = ["State", "Cable length", "Torque", "UAV power", "Worst finding"];

  function makeRow(id) {
    const row = document.createElement("tr");
    row.dataset.id = id;
    const th = document.createElement("th");
    th.scope = "row";
    th.dataset.label = "Station";
    const link = document.createElement("a");
    link.href = "#/station/" + encodeURIComponent(id);
    link.textContent = id;
    link.dataset.station = id;
    th.appendChild(link);
    row.appendChild(th);
    const cells = columns.map((label) => {
      const td = document.createElement("td");
      td.dataset.label = label;
      row.appendChild(td);
      return td;
    });
    cells[1].className = cells[2].className = cells[3].className = "num";
    const badge = document.createElement("span");
    const text = document.createTextNode("");
    cells[4].className = "finding";
    cells[4].append(badge, text);
    return { row, cells, badge, text };
  }

  function setText(node, text) {
    if (node.textContent !== text) {
      node.textContent = text;
    }
  }

  function renderFleet() {
    const list = [...stations.values()].map((s) => ({ s, w: worst(s) }));
    list.sort((a, b) => a.w.rank - b.w.rank || (a.s.id < b.s.id ? -1 : a.s.id > b.s.id ? 1 : 0));
    const body = $("fleet-rows");
    list.forEach(({ s, w }, index) => {
      let entry = fleetRows.get(s.id);
      if (!entry) {
        entry = makeRow(s.id);
        fleetRows.set(s.id, entry);
      }
      const cab = group(s, "cab");
      const uav = group(s, "energyUAV");
      const state = s.state || "unknown";
      entry.row.className = "level-" + w.level;
      setText(entry.cells[0], state);
      entry.cells[0].className = "state state-" + state;
      setText(entry.cells[1], number(cab && cab.length, 2, "m"));
      setText(entry.cells[2], number(cab && cab.retTorque, 0, "%"));
      setText(entry.cells[3], number(uav && uav.uavPower, 0, "W"));
      entry.badge.className = "badge badge-" + w.level;
      setText(entry.badge, levelWords[w.level]);
      if (entry.text.data !== " " + w.text) {
        entry.text.data = " " + w.text;
      }
      if (body.children[index] !== entry.row) {
        body.insertBefore(entry.row, body.children[index] || null);
      }
    });
    for (const [id, entry] of fleetRows) {
      if (!stations.has(id)) {
        entry.row.remove();
        fleetRows.delete(id);
      }
    }
    $("fleet-empty").hidden = list.length > 0;
  }

  function pairs(list, entries) {
    const fragment = document.createDocumentFragment();
    for (const [name, value] of entries) {
      const dt = document.createElement("dt");
      dt.textContent = name;
      const dd = document.createElement("dd");
      dd.textContent = value;
      fragment.appendChild(dt);
      fragment.appendChild(dd);
    }
    list.replaceChildren(fragment);
  }

  const activations = { 0: "deactivated", 1: "activated by the power switch", 16: "activated remotely" };

  function renderStation(id) {
    const station = stations.get(id);
    $("station-title").textContent = "Station " + id;
    if (!station) {
      $("station-state").textContent = "not seen on the broker";
      return;
    }
    $("station-state").textContent = station.state || "unknown";
    const cab = group(station, "cab") || {};
    const env = group(station, "env") || {};
    const gs = group(station, "energyGS") || {};
    const uav = group(station, "energyUAV") || {};
    const sys = group(station, "sysState") || {};
    pairs($("status-list"), [
      ["Activation", sys.activation in activations ? activations[sys.activation] : number(sys.activation, 0, "")],
      ["Cable length", number(cab.length, 2, "m")],
      ["Cable speed", number(cab.speed, 2, "m/s")],
      ["Torque", number(cab.retTorque, 0, "%")],
      ["Start length", number(cab.retStart, 2, "m")],
      ["Temperatures", [env.temp1, env.temp2, env.temp3, env.temp4].map((t) => number(t, 1, "°C")).join(", ")],
      ["Humidity", number(env.hum1, 0, "%")],
      ["UAV supply", number(uav.uavSuplU, 1, "V") + ", " + number(uav.uavSuplI, 2, "A") + ", " + number(uav.uavPower, 0, "W")],
      ["Mains", number(gs.mainsU, 0, "V") + ", " + number(gs.mainsI, 2, "A") + ", " + number(gs.mainsF, 2, "Hz")],
      ["Backup battery", number(gs.batU, 0, "%")],
      ["Reading", station.status ? "#" + station.status.seq + " at " + station.status.time : "none yet"],
    ]);
    const details = (station.details && station.details.details) || {};
    const versions = details.swVersion ? Object.entries(details.swVersion).map(([k, v]) => k + " " + v).join(", ") : "—";
    pairs($("details-list"), [
      ["Product", [details.productType, details.model].filter(Boolean).join(", ") || "—"],
      ["Serial number", details.sn || "—"],
      ["Hardware", details.hwVersion || "—"],
      ["Software", versions],
      ["Protocol", details.protocolVersion || "—"],
      ["Cable", details.cableType || "—"],
      ["Largest cable length", number(details.maxCableLength, 0, "m")],
      ["Largest power", number(details.maxPower, 0, "W")],
      ["Maintenance", details.maintenanceRequired ? "required" : details.ttm !== undefined ? "due in " + Math.round(details.ttm / 3600) + " h" : "—"],
      ["Flights", details.flightCount !== undefined ? String(details.flightCount) : "—"],
    ]);
    const findings = $("findings");
    const items = document.createDocumentFragment();
    const list = station.findings || [];
    if (station.check && station.check.state === "unknown") {
      const li = document.createElement("li");
      li.className = "level-unknown";
      li.textContent = "Unknown: " + (station.check.reason || "no reading");
      items.appendChild(li);
    }
    for (const finding of list) {
      const li = document.createElement("li");
      const level = finding.severity === "error" ? "error" : "warning";
      li.className = "level-" + level;
      li.textContent = levelWords[level] + ": " + finding.text;
      items.appendChild(li);
    }
    if (!items.childNodes.length) {
      const li = document.createElement("li");
      li.className = "level-ok";
      li.textContent = station.check ? "No findings." : "Not checked yet.";
      items.appendChild(li);
    }
    findings.replaceChildren(items);

    const points = history.get(id) || [];
    RavenlinkChart.draw($("chart"), points, chartSpan, Date.now());
    const latest = points.length ? points[points.length - 1] : null;
    const summary = latest
      ? "Cable length " + number(latest.length, 2, "m") + "; temperatures " +
        ["temp1", "temp2", "temp3", "temp4"].map((k) => number(latest[k], 1, "°C")).join(", ")
      : "No readings yet";
    $("chart").setAttribute("aria-label", "Chart of the last 5 minutes. Latest: " + summary);
    const legend = $("chart-legend");
    if (!legend.childNodes.length) {
      for (const line of RavenlinkChart.series) {
        const item = document.createElement("span");
        const swatch = document.createElement("span");
        swatch.className = "swatch";
        swatch.style.background = line.colour;
        item.appendChild(swatch);
        item.appendChild(document.createTextNode(line.label + (line.axis === "left" ? " (left axis)" : " (right axis)")));
        legend.appendChild(item);
      }
    }
  }

  function render() {
    if (!login) {
      return;
    }
    const id = currentStation();
    if (id) {
      renderStation(id);
    } else {
      renderFleet();
    }
    updateAges();
  }

  // ---- views ----

  function currentStation() {
    const match = /^#\/station\/(.+)$/.exec(location.hash);
    return match ? decodeURIComponent(match[1]) : null;
  }

  function show() {
    const loggedIn = login !== null;
    const id = loggedIn ? currentStation() : null;
    $("login-view").hidden = loggedIn;
    $("who").hidden = !loggedIn;
    $("fleet-view").hidden = !loggedIn || id !== null;
    $("station-view").hidden = !loggedIn || id === null;
    if (loggedIn) {
      $("user-name").textContent = me.user;
      $("user-role").textContent = me.mayCommand ? "may command" : "view only";
      // Controls only for an account that the broker lets command; the
      // broker still decides on every command.
      $("controls").hidden = !me.mayCommand;
      $("command-result").textContent = "";
      render();
    }
  }

  window.addEventListener("hashchange", () => {
    show();
    if (currentStation()) {
      $("station-title").focus();
    }
  });

  $("login-form").addEventListener("submit", async (event) => {
    event.preventDefault();
    $("login-submit").disabled = true;
    $("login-error").textContent = "";
    const error = await logIn($("login-user").value, $("login-password").value);
    $("login-submit").disabled = false;
    if (error) {
      $("login-error").textContent = error;
      $("login-password").focus();
      return;
    }
    $("login-password").value = "";
    show();
    connect();
  });

  $("logout").addEventListener("click", logOut);

  // ---- commands ----

  async function command(payload, what) {
    const id = currentStation();
    const result = $("command-result");
    result.className = "result";
    result.textContent = what + ": sent, waiting for the station…";
    const buttons = $("controls").querySelectorAll("button");
    buttons.forEach((b) => (b.disabled = true));
    let text;
    let good = false;
    try {
      const response = await request("/api/stations/" + encodeURIComponent(id) + "/commands", {
        method: "POST",
        headers: { "Content-Type": "application/json" },
        body: JSON.stringify(payload),
      });
      const body = await response.json().catch(() => ({}));
      if (response.status === 200 && body.ok) {
        good = true;
        text = what + ": done" + (body.sent !== undefined ? " (the station was given " + JSON.stringify(body.sent) + ")" : "") + ".";
      } else if (response.status === 200) {
        text = what + ": the bridge refused it: " + body.error;
      } else if (response.status === 403) {
        text = what + ": the broker does not let this account command (" + body.error + ").";
      } else {
        text = what + ": " + (body.error || "the server answered " + response.status) + ".";
      }
    } catch (e) {
      text = what + ": the server cannot be reached.";
    }
    buttons.forEach((b) => (b.disabled = false));
    result.className = "result " + (good ? "result-ok" : "result-error");
    result.textContent = text;
  }

  $("activate").addEventListener("click", () => {
    const id = currentStation();
    $("confirm-text").textContent =
      "Station " + id + " will power the UAV's tether and the UAV may take off. Activate it?";
    $("confirm").showModal();
    $("confirm-cancel").focus();
  });
  $("confirm-cancel").addEventListener("click", () => $("confirm").close());
  $("confirm-ok").addEventListener("click", () => {
    $("confirm").close();
    $("activate").focus();
    command({ command: "activate" }, "Activate");
  });
  $("deactivate").addEventListener("click", () => command({ command: "deactivate" }, "Deactivate"));
  $("torque-form").addEventListener("submit", (event) => {
    event.preventDefault();
    command({ command: "torque", value: Number($("torque-value").value) }, "Torque " + $("torque-value").value + " %");
  });
  $("start-form").addEventListener("submit", (event) => {
    event.preventDefault();
    command({ command: "start-length", value: Number($("start-value").value) }, "Start length " + $("start-value").value + " m");
  });

  show();
})();
