#include "editor/neuform.h"

TFNeu::TFNeu(QWidget* parent) : QDialog(parent) {}
