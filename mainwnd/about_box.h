// The About box.
#pragma once

#include <QDialog>

class CDia_About : public QDialog {
    Q_OBJECT
public:
    explicit CDia_About(QWidget* parent = nullptr);
};

// The window icon in its 16 and 32 pixel images.
class QIcon;
QIcon applicationIcon();
