#include "about/aboutform.h"

Tabout::Tabout(QWidget* parent) : QDialog(parent) {}
