"""The Ravenlink library for Python: one ground station on one serial line.

    import ravenlink
    with ravenlink.StationLink("/dev/ttyUSB0", timeout_ms=1000) as link:
        status = link.status()
        print(status.cab.length)

Every call that waits on the line releases the interpreter lock. Failures
are ravenlink.LinkError (the link) and ravenlink.DataError (a reply that
cannot be used), both ravenlink.Error; a value out of range is a ValueError
before anything is sent.
"""

from typing import Dict, List, NamedTuple

from ravenlink._ravenlink import (
    CableStatus,
    ConfigStatus,
    DataError,
    EnergyGSStatus,
    EnergyUAVStatus,
    EnvStatus,
    Error,
    Finding,
    Health,
    LinkError,
    StationLink,
    StatusGroups,
    SwVersions,
    SysState,
    SystemConfig,
    SystemDetails,
    SystemStatus,
    __version__,
    _list_ports,
)

__all__ = [
    "CableStatus",
    "ConfigStatus",
    "DataError",
    "EnergyGSStatus",
    "EnergyUAVStatus",
    "EnvStatus",
    "Error",
    "Finding",
    "Health",
    "LinkError",
    "PortInfo",
    "StationLink",
    "StatusGroups",
    "SwVersions",
    "SysState",
    "SystemConfig",
    "SystemDetails",
    "SystemStatus",
    "list_ports",
]


class PortInfo(NamedTuple):
    """One serial port of this machine."""

    port: str
    description: str
    hardware_id: str

    def to_dict(self) -> Dict[str, str]:
        """The entry as `ravenlinkctl --json ports` prints it."""
        return {"port": self.port, "description": self.description, "hardwareId": self.hardware_id}


def list_ports() -> List[PortInfo]:
    """The serial ports of this machine."""
    return [PortInfo(*entry) for entry in _list_ports()]


# The classes are ravenlink's, whatever module the extension builds them in.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
