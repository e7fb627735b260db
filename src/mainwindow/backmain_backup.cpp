// Backup page commands: the run report and the start of a backup.
#include "mainwindow/backmain.h"

void TForm1::Button3Click() {}
void TForm1::BitBtn1Click() {}
