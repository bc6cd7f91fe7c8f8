"""Failures: the library's exceptions as ravenlink.Error, values out of range
as ValueError before anything is sent."""

import pytest

import ravenlink


def test_library_failures_are_errors_with_the_library_text(start_station):
    assert issubclass(ravenlink.LinkError, ravenlink.Error) and issubclass(ravenlink.DataError, ravenlink.Error)
    assert issubclass(ravenlink.Error, Exception) and not issubclass(ravenlink.LinkError, ravenlink.DataError)
    with pytest.raises(ravenlink.LinkError) as missing:
        ravenlink.StationLink("/nonexistent/port")
    assert str(missing.value) == "IO Exception: openConnection: No such file or directory"

    refusing = start_station("--com-status", "5")
    with pytest.raises(ravenlink.DataError) as refused:
        ravenlink.StationLink(refusing.port)
    assert str(refused.value) == "Data Stream Exception: checkReply: data does not fit to sent command"

    with pytest.raises(ravenlink.LinkError) as closed:
        ravenlink.StationLink().status()
    assert str(closed.value) == "IO Exception: sendData: no connection established"


# (call, argument) pairs that must be refused, and the message.
OUT_OF_RANGE = [
    (lambda link, v: link.set_torque(v), [-0.1, 100.5, float("nan"), float("inf")],
     "torque must be a number from 0 to 100"),
    (lambda link, v: link.set_start_length(v), [0.29, -1, float("nan"), float("inf"), 655.36, 1e31],
     "start_length must be a number of metres from 0.3 to 655.35"),
    (lambda link, v: link.configure(activation=True, torque=v, start_length=1), [101],
     "torque must be a number from 0 to 100"),
    (lambda link, v: link.configure(activation=True, torque=1, start_length=v), [0.2],
     "start_length must be a number of metres from 0.3 to 655.35"),
    (lambda link, v: link.set_groups(cab=1, energyUAV=v), [2, -1, 2**40], "groups: energyUAV must be 0 or 1"),
    (lambda link, v: setattr(link, "timeout_ms", v), [0, 3600001, 2**40],
     "timeout_ms must be a whole number from 1 to 3600000"),
]


def test_values_out_of_range_are_refused_before_anything_is_sent(link):
    lines = []
    link.set_line_observer(lambda direction, text: lines.append(text))
    for call, values, message in OUT_OF_RANGE:
        for value in values:
            with pytest.raises(ValueError) as refused:
                call(link, value)
            assert str(refused.value) == message, value
    assert lines == []
    with pytest.raises(ValueError, match="^timeout_ms must be"):
        ravenlink.StationLink(timeout_ms=0)
    # The edges themselves are accepted, as by ravenlinkctl.
    assert link.set_torque(0) == 0 and link.set_torque(100) == 100
    assert link.set_start_length(0.3) == 0.3
    link.timeout_ms = 1
    link.timeout_ms = 3600000
    assert link.timeout_ms == 3600000
    # The longest start length passes the check (the simulator itself takes
    # no more than 100 m, so it goes to a closed link).
    with pytest.raises(ravenlink.LinkError):
        ravenlink.StationLink().set_start_length(655.35)


def test_arguments_of_the_wrong_type_are_type_errors(link):
    with pytest.raises(TypeError):
        link.set_torque("40")
    with pytest.raises(TypeError):
        link.configure(False, 40, 2.5)
    with pytest.raises(TypeError):
        link.set_line_observer(42)
    with pytest.raises(TypeError):
        ravenlink.SystemStatus()
