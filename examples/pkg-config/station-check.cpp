// station-check PORT: reads the ground station's status and details on PORT
// and prints the status as JSON and every finding of the state evaluation.
// Exit status: 0 nothing to report, 1 warnings only, 2 an error, 3 no answer.
#include <StationJson.h>
#include <StationLink.h>
#include <SystemFindings.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: station-check PORT\n";
        return 3;
    }
    try {
        StationLink link;
        link.openConnection(argv[1]);
        SystemStatus status;
        SystemDetails details;
        link.getSystemStatus(status);
        link.getSystemDetails(details);
        std::cout << toJson(status) << '\n';
        const std::vector<SystemFinding> findings = findSystemFindings(status, details, true);
        for (const SystemFinding& finding : findings) {
            std::cout << (finding.severity == FindingSeverity::error ? "error: " : "warning: ") << finding.text
                      << '\n';
        }
        const uint8_t severity = severityOf(findings);
        std::cout << details.model << ' ' << details.sn << ": " << findings.size() << " findings\n";
        return severity == SystemSeverity::error ? 2 : severity == SystemSeverity::warning ? 1 : 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 3;
    }
}
