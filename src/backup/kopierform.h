#pragma once

#include <QDialog>

class TFKopie : public QDialog {
  Q_OBJECT

 public:
  explicit TFKopie(QWidget* parent = nullptr);
};
