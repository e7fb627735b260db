#include "sync/neusynform.h"

TFSynNeu::TFSynNeu(QWidget* parent) : QDialog(parent) {}
