#include "StationSample.h"

#include "StationComposer.h"

#include <stdexcept>
#include <vector>

namespace ravenlink_bench {

void fillStationStore()
{
    sc_reset_store();

    setConfigCab(1);
    setConfigEnv(1);
    setConfigEnergyGS(1);
    setConfigEnergyUAV(1);
    setConfigSysState(1);

    setActivation(16);
    setRetStatus(16);
    setRetTorque(45);
    setRetStart(150);

    setLength(4250);
    setSpeed(-35);
    setTetherStatus(0);
    setGuideStatus(0);
    setReelStatus(0);

    setTemp1(31);
    setTemp2(24);
    setTemp3(22);
    setTemp4(-7);
    setHum1(41);
    setPress1(1013);
    setEnvSensor1Status(0);
    setEnvSensor2Status(0);
    setEnvSensor3Status(0);
    setEnvSensor4Status(0);
    setFan1Rpm(2400);
    setFan2Rpm(2350);
    setFan1Status(0);
    setFan2Status(0);

    setMainsU(231);
    setMainsI(4350);
    setMainsF(50020);
    setMainsStatus(0);
    setCtrlSupl1(12040);
    setCtrlSupl2(11980);
    setCtrlSupl3(5010);
    setCtrlSupl4(4990);
    setCtrlSupl5(3300);
    setCtrlSupl6(24100);
    setCtrlSuplStatus(0);
    setCtrlSupl1Status(0);
    setCtrlSupl2Status(0);
    setCtrlSupl3Status(0);
    setCtrlSupl4Status(0);
    setCtrlSupl5Status(0);
    setCtrlSupl6Status(0);
    setBatU(87);
    setBatStatus(0);

    setExtSuplU(-1);
    setExtSuplI(-1);
    setUavSuplU(25800);
    setUavSuplI(18);
    setExtSuplStatus(0);
    setUavSuplStatus(0);
    setUavCellCount(6);

    setFlightTime(2712);
    setFlightTimeOpSum(10843);
    setFlightCountOpSum(7);
    setOperationTime(14522);
    setSystemTime(1718200000U);
    setError(0);
    setNetworkStatus(1);
    setMemoryStatus(0);
    setAuthEnable(1);

    setProductType("Loftward GS-300");
    setModel("GS-300 PL");
    setSn("GS3-2024-00417");
    setDop("2024-03-18");
    setHwVersion("3.2.1");
    setMainCtrl("2.14.3");
    setReelCtrl("1.9.0");
    setLpwrCtrl("1.4.2");
    setHpwrCtrl("1.4.7");
    setEnvCtrl("1.1.0");
    setNetCtrl("0.0.0");
    setBbatCtrl("1.0.5");
    setUavCellVoltages("4.2V LiPo / 4.35V LiHV");
    setMaxPower(3000);
    setCableType("2-wire 1.5 mm2 aramid");
    setMaxCableLength(100);
    setNetworkType(1);
    setFlightTimeSum(1284377U);
    setFlightCount(612U);
    setOperationTimeSum(2041158U);
    setOperationCount(433U);
    setSystemTimeSum(3610022U);
    setSystemUseCount(501U);
    setTtm(96400U);
    setMaintenanceRequired(0);
}

namespace {

std::string compose(std::uint16_t msgID, sc_result (*member)(char*))
{
    setMsgId(msgID);
    setComStatus(0);
    std::vector<char> text(SC_MESSAGE_CAPACITY, '\0');
    if (composeCom(text.data()) != SC_OK || appendComma(text.data()) != SC_OK ||
        member(text.data()) != SC_OK || wrapMessage(text.data()) != SC_OK) {
        throw std::runtime_error("the sample reply does not fit the station's message capacity");
    }
    return std::string(text.data()) + "\n";
}

} // namespace

std::string statusReply(std::uint16_t msgID) { return compose(msgID, composeSystemStatus); }

std::string detailsReply(std::uint16_t msgID) { return compose(msgID, composeSystemDetails); }

} // namespace ravenlink_bench
