/*!
 * \file main.cpp
 * \brief Entry of ravenlinkctl: every station operation from the command
 * line, for scripts, health checks and logged runs.
 */
#include "CtlApp.h"

#include <iostream>

int main(int argc, char** argv) { return ctl::run(argc, argv, std::cout, std::cerr); }
