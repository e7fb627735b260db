// Check page commands: check a backup and complete it.
#include "mainwindow/backmain.h"

void TForm1::BitBtn2Click() {}
void TForm1::BitBtn5Click() {}
