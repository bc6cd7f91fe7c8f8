// station-status PORT: connects to the ground station on PORT and prints its
// status report, as the console does after connecting.
#include <RavenlinkVersion.h>
#include <StationLink.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: station-status PORT\n";
        return 2;
    }
    try {
        StationLink link;
        std::cout << "Ravenlink " << RAVENLINK_VERSION << ", library build " << link.getLibraryBuild()
                  << ", protocol " << link.getProtocolVersion() << '\n';
        link.openConnection(argv[1]);
        SystemStatus status;
        link.getSystemStatus(status);
        link.printSystemStatus(status, std::cout);
        link.closeConnection();
    } catch (const std::exception& e) {
        // The library's own failures (HALVERN::IOException, HALVERN::DataException)
        // say which operation failed and why.
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
