// Corvella Rebrander: the desktop window over a package: the one beside the program, or the
// folder named on the command line.
#include <QStringList>
#include <cstring>
#include <iostream>

#include "ExceptionReporting.h"
#include "FMain.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "corvella-rebrander " << CORVELLA_VERSION << "\n";
    return 0;
  }
  InstallTerminateHandler();
  // Qt takes its own options out of the arguments; what is left may name a package folder.
  TApplication application(argc, argv);
  TApplication::setApplicationName(QStringLiteral("corvella-rebrander"));
  TfrmMain frmMain;
  frmMain.show();
  const QStringList arguments = TApplication::arguments();
  if (arguments.size() > 1) {
    RunGuarded([&] { frmMain.OpenPackage(arguments.at(1)); });
  }
  return TApplication::exec();
}
