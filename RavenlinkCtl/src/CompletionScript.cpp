// Writes the bash completion of ravenlinkctl: its template with the commands
// and their options filled in from the command table. Run by the build.
#include "CtlApp.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: ravenlinkctl_completion TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream script;
    script << in.rdbuf();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << ctl::completionScript(script.str());
    out.close();
    if (!in || !out) {
        std::cerr << "ravenlinkctl_completion: cannot write " << argv[2] << " from " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
