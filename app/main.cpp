// Corvella Rebrander: the desktop window over the package beside the program.
#include "ExceptionReporting.h"
#include "FMain.h"

int main(int argc, char** argv) {
  InstallTerminateHandler();
  // Qt takes its own options out of the arguments; the program itself takes none.
  TApplication application(argc, argv);
  TfrmMain frmMain;
  frmMain.show();
  return TApplication::exec();
}
