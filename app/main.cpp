// Corvella Rebrander: the desktop window over the package beside the program.
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
  // Qt takes its own options out of the arguments; the program itself takes none.
  TApplication application(argc, argv);
  TfrmMain frmMain;
  frmMain.show();
  return TApplication::exec();
}
