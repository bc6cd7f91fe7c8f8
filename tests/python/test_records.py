"""Records: attributes, to_dict() against ravenlinkctl --json, groups not sent."""

import ravenlink
from conftest import ctl_json, ctl_text


def leaves(record, prefix=""):
    """(path, attribute value) of every leaf field of a record."""
    for name, value in record.to_dict().items():
        attribute = getattr(record, name)
        if isinstance(value, dict):
            yield from leaves(attribute, f"{prefix}{name}.")
        else:
            yield f"{prefix}{name}", attribute, value


def test_to_dict_is_what_ravenlinkctl_prints(station):
    with ravenlink.StationLink(station.port, timeout_ms=1000) as link:
        link.set_groups(env=0)
        records = {"details": link.details(), "config": link.config(), "groups": link.groups(), "check": link.check()}
        status = link.status()
    for command, record in records.items():
        assert record.to_dict() == ctl_json(station.port, command), command
    # The status drifts between two readings; its shape and the group left
    # out must agree.
    printed = ctl_json(station.port, "status")
    assert list(status.to_dict()) == list(printed)
    assert status.to_dict()["env"] is None and printed["env"] is None
    assert status.to_dict()["configStatus"] == printed["configStatus"]
    assert [list(group) for group in status.to_dict().values() if group] == [
        list(group) for group in printed.values() if group
    ]


def test_attributes_are_the_numbers_and_texts_of_to_dict(link):
    link.set_start_length(1.1)
    for record in (link.status(), link.details(), link.config(), link.groups(), link.status().delivered):
        for path, attribute, value in leaves(record):
            assert attribute == value, path
            assert type(attribute) in (int, float, bool, str), path
    # A float is the shortest decimal of the station's float, as in JSON:
    # 1.1, not 1.100000023841858.
    config = link.config()
    assert config.retStart == 1.1 and isinstance(config.retStart, float)
    assert isinstance(config.activation, bool) and isinstance(config.retStatus, int)


def test_a_group_not_sent_is_none(link):
    link.set_groups(cab=0, energyUAV=0)
    status = link.status()
    assert status.cab is None and status.energyUAV is None
    assert status.env is not None and status.sysState is not None
    assert status.delivered == status.delivered and not status.delivered.cab and status.delivered.env
    assert status.to_dict()["cab"] is None and status.to_dict()["energyUAV"] is None
    assert status.configStatus.cab == 0 and status.configStatus.env == 1
    # A group on its own gives the same member as inside the status.
    assert status.env.to_dict() == status.to_dict()["env"]


def test_repr_and_equality(link):
    details = link.details()
    assert repr(details).startswith("SystemDetails(productType=" + repr(details.productType) + ", ")
    assert "swVersion=SwVersions(mainCtrl=" in repr(details)
    assert details == link.details() and details != link.config() and details != "details"
    assert type(details).__module__ == "ravenlink"


def test_reports_are_utf8_text(station):
    with ravenlink.StationLink(station.port) as link:
        details_report = link.details_report(link.details())
        status_report = link.status_report(link.status())
    assert details_report == ctl_text(station.port, "details")
    # The station's degree byte is the degree sign.
    assert "\N{DEGREE SIGN}C" in status_report and "\ufffd" not in status_report
    assert status_report.startswith("Current system status\n")


def test_ports_are_what_ravenlinkctl_lists(station):
    ports = ravenlink.list_ports()
    assert all(isinstance(port, ravenlink.PortInfo) for port in ports)
    # ravenlinkctl adds each port's stable names under /dev/serial/by-id, and
    # the devices that only have such a name.
    known = {port.port for port in ports}
    listed = []
    for entry in ctl_json(station.port, "ports"):
        if entry.pop("byId") == [] or entry["port"] in known:
            listed.append(entry)
    assert [port.to_dict() for port in ports] == listed
