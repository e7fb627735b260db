#pragma once

#include <QDialog>

class TFSynNeu : public QDialog {
  Q_OBJECT

 public:
  explicit TFSynNeu(QWidget* parent = nullptr);
};
