#include "verify/restform.h"

TFRest::TFRest(QWidget* parent) : QDialog(parent) {}
