#include "backup/kopierform.h"

TFKopie::TFKopie(QWidget* parent) : QDialog(parent) {}
