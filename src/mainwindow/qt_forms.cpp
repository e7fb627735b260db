#include "mainwindow/qt_forms.h"

TForm1* Form1 = nullptr;
TFNeu* FNeu = nullptr;
TFCheck* FCheck = nullptr;
TFKopie* FKopie = nullptr;
TFRest* FRest = nullptr;
TFSynNeu* FSynNeu = nullptr;
Tabout* about = nullptr;
