"""Every command reaches the station with the values given, and the link's
own state: open, close, context manager, timeout."""

import ravenlink


def test_activation_and_settings_reach_the_station(link):
    link.activate()
    assert link.status().sysState.activation == 16
    link.deactivate()
    assert link.status().sysState.activation == 0
    # The confirmations are the values sent, as ravenlinkctl prints them.
    assert link.set_torque(50.999) == 50
    assert link.set_start_length(1.05) == 1.05
    assert (link.config().retTorque, link.config().retStart) == (50, 1.05)
    assert link.configure(activation=True, torque=33, start_length=2.5) is None
    config = link.config()
    assert (config.activation, config.retTorque, config.retStart) == (True, 33, 2.5)


def test_set_groups_keeps_the_groups_not_named(link):
    assert link.set_groups(env=0, sysState=0).to_dict() == {
        "cab": 1, "env": 0, "energyGS": 1, "energyUAV": 1, "sysState": 0}
    assert link.set_groups(cab=0, env=1) == link.groups()
    assert link.groups().to_dict() == {"cab": 0, "env": 1, "energyGS": 1, "energyUAV": 1, "sysState": 0}
    assert link.set_groups() == link.groups()


def test_open_close_and_context(station):
    link = ravenlink.StationLink(timeout_ms=500)
    assert not link.connected and link.timeout_ms == 500
    link.open(station.port)
    assert link.connected
    link.timeout_ms = 1200
    assert link.timeout_ms == 1200 and link.status().configStatus.cab == 1
    link.close()
    assert not link.connected
    with ravenlink.StationLink(station.port) as opened:
        assert opened.connected and opened.timeout_ms == 300 and opened.dropped_replies == 0
    assert not opened.connected
    # The port is free again once the context has ended.
    with ravenlink.StationLink(station.port) as again:
        assert again.connected


def test_a_failed_open_leaves_the_link_closed(start_station):
    silent = start_station("--no-reply")
    link = ravenlink.StationLink(timeout_ms=100)
    for _ in range(2):
        # A second open of the same port runs the handshake again instead
        # of taking the port left open as done.
        try:
            link.open(silent.port)
        except ravenlink.LinkError as error:
            assert str(error) == "IO Exception: receiveData: Data Receiver Timeout!"
        else:
            raise AssertionError("open of a silent station succeeded")
        assert not link.connected
