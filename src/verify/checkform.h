#pragma once

#include <QDialog>

class TFCheck : public QDialog {
  Q_OBJECT

 public:
  explicit TFCheck(QWidget* parent = nullptr);
};
