// Job commands of the backup page: new job and edit job.
#include "mainwindow/backmain.h"

void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
