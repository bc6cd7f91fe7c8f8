#include "StationLinkImpl.h"

// Placeholder until the device commands land: every command needs a station.
namespace { [[noreturn]] void noStation(const char* name) { throw HALVERN::IOException((std::string(name) + ": no connection established").c_str()); } }
void StationLinkImpl::getSystemDetails(SystemDetails&) { noStation("getSystemDetails"); }
void StationLinkImpl::getSystemStatus(SystemStatus&) { noStation("getSystemStatus"); }
bool StationLinkImpl::evaluateSystemState(uint8_t&) { noStation("getSystemStatus"); }
bool StationLinkImpl::evaluateSystemState(const SystemStatus&, uint8_t&, bool) { noStation("getSystemDetails"); }
bool StationLinkImpl::evaluateSystemState(const SystemStatus&, const SystemDetails&, uint8_t& severity, bool) { severity = 0; return false; }
void StationLinkImpl::getSystemConfig(SystemConfig&) { noStation("getSystemConfig"); }
void StationLinkImpl::setSystemConfig(const SystemConfig&) { noStation("setSystemConfig"); }
void StationLinkImpl::setSystemActivation(bool) { noStation("setSystemActivation"); }
void StationLinkImpl::setCableRetractionTorque(float) { noStation("setCableRetractionTorque"); }
void StationLinkImpl::setCableRetractionStartLength(float) { noStation("setCableRetractionStartLength"); }
void StationLinkImpl::getSystemStatusConfig(ConfigStatus&) { noStation("getSystemStatus"); }
void StationLinkImpl::setSystemStatusConfig(const ConfigStatus&) { noStation("setSystemStatusConfig"); }
void StationLinkImpl::printSystemInfo() { noStation("getSystemStatus"); }
