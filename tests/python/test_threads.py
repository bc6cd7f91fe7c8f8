"""The interpreter lock while a call waits, and the line observer."""

import gc
import sys
import threading
import time

import pytest

import ravenlink

# Every thread of these tests is joined by this bound; a deadlock fails the
# test instead of hanging the run.
JOIN_SECONDS = 30.0


def run_threads(*targets):
    threads = [threading.Thread(target=target, daemon=True) for target in targets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(JOIN_SECONDS)
    assert not any(thread.is_alive() for thread in threads), "a thread did not end: deadlock"


def test_two_stations_are_served_side_by_side(start_station):
    # Each station answers 400 ms late. Holding the interpreter lock while
    # waiting, one thread could not even start its call before the other's
    # had ended.
    stations = [start_station("--delay", "400") for _ in range(2)]
    links = [ravenlink.StationLink(s.port, timeout_ms=2000) for s in stations]
    spans = [None, None]

    def read(index):
        def run():
            start = time.monotonic()
            links[index].status()
            spans[index] = (start, time.monotonic())
        return run

    run_threads(read(0), read(1))
    (start0, end0), (start1, end1) = spans
    assert start1 < end0 - 0.2 and start0 < end1 - 0.2, spans
    for link in links:
        link.close()


def test_an_observer_that_asks_connected_cannot_deadlock(link):
    # Two threads take turns on one link; each line calls back into Python,
    # which needs the interpreter lock while the other thread waits for the
    # line. Neither may block the other for good.
    seen = []
    link.set_line_observer(lambda direction, text: seen.append((direction, link.connected)))

    def reads():
        for _ in range(25):
            link.status()

    run_threads(reads, reads)
    assert len(seen) == 100 and all(connected for _, connected in seen)
    assert {direction for direction, _ in seen} == {"request", "reply"}


def test_an_observer_may_not_call_its_own_link(station):
    # Its own link is in the middle of the command that called it: a close
    # would wait for that command for good, another command for a timeout.
    link = ravenlink.StationLink(station.port, timeout_ms=1000)
    refusals = []

    def observer(direction, text):
        for call in (link.status, link.close, lambda: link.open("/nonexistent")):
            try:
                call()
            except RuntimeError as refused:
                refusals.append(str(refused))
        # Reading the link's state is allowed.
        assert link.connected and link.timeout_ms == 1000 and link.dropped_replies == 0

    link.set_line_observer(observer)
    run_threads(link.activate)
    assert refusals[:3] == [
        f"{name}: a line observer must not use its own link but for connected, timeout_ms and dropped_replies"
        for name in ("status", "close", "open")
    ]
    assert len(refusals) == 6 and link.connected


def test_an_observer_that_raises_does_not_stop_the_command(link, monkeypatch):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", lambda raised: reported.append(raised.exc_value))

    def observer(direction, text):
        raise KeyError(direction)

    link.set_line_observer(observer)
    assert link.status().configStatus.cab == 1
    assert [str(error) for error in reported] == ["'request'", "'reply'"]
    link.set_line_observer(None)
    link.status()
    assert len(reported) == 2


def test_an_observer_gets_text_whatever_the_station_sent(start_station):
    noisy = start_station("--garbage")
    lines = []
    link = ravenlink.StationLink(timeout_ms=300)
    link.set_line_observer(lambda direction, text: lines.append((direction, text)))
    with pytest.raises(ravenlink.DataError):
        link.open(noisy.port)
    assert [direction for direction, _ in lines] == ["request", "reply"]
    assert all(isinstance(text, str) for _, text in lines)
    assert lines[0][1].startswith('{"COM":{"MSG_ID":') and "\ufffd" in lines[1][1]


def test_close_waits_for_a_running_command(start_station):
    slow = start_station("--delay", "300")
    link = ravenlink.StationLink(slow.port, timeout_ms=2000)
    results = []
    reader = threading.Thread(target=lambda: results.append(link.status()), daemon=True)
    reader.start()
    time.sleep(0.1)
    link.close()
    reader.join(JOIN_SECONDS)
    assert len(results) == 1 and not link.connected


def test_an_observer_that_refers_to_its_link_lets_it_go(station):
    # The observer keeps the link alive and the link the observer: the
    # garbage collector must see the cycle, or the port stays taken.
    def open_and_drop():
        link = ravenlink.StationLink(station.port)
        link.set_line_observer(lambda direction, text: link.connected)
        link.status()

    open_and_drop()
    gc.collect()
    with ravenlink.StationLink(station.port) as again:
        assert again.connected
