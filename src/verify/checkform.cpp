#include "verify/checkform.h"

TFCheck::TFCheck(QWidget* parent) : QDialog(parent) {}
