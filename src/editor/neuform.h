#pragma once

#include <QDialog>

class TFNeu : public QDialog {
  Q_OBJECT

 public:
  explicit TFNeu(QWidget* parent = nullptr);
};
