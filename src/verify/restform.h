#pragma once

#include <QDialog>

class TFRest : public QDialog {
  Q_OBJECT

 public:
  explicit TFRest(QWidget* parent = nullptr);
};
