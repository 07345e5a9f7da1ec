#pragma once

// The dialog "Darstellung": the appearance settings of the element being placed, each with a
// slider and a number field, the reveal shadow's side, the button "Automatisch an Fassade
// anpassen", OK and "Abbrechen". Every change goes to the request's preview at once, so the
// workspace shows the element as it will be accepted.

#include "MainUnit/FormHost.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QSlider;
class QSpinBox;

namespace schauplatz {

class AppearanceDialog : public QDialog {
public:
    AppearanceDialog(QWidget* parent, AppearanceDialogRequest request);

    TAppearance settings() const;
    // Shows settings without a preview per field; one preview follows.
    void setSettings(const TAppearance& settings);

private:
    struct Field {
        QSlider* slider = nullptr;
        QSpinBox* spin = nullptr;
    };
    Field addField(QFormLayout& form, const QString& label, int minimum, int maximum,
                   const QString& suffix);
    void changed();

    AppearanceDialogRequest m_request;
    QCheckBox* m_smooth = nullptr;
    Field m_brightness, m_contrast, m_temperature, m_opacity, m_depth, m_darkness;
    QComboBox* m_side = nullptr;
    bool m_quiet = false;
};

} // namespace schauplatz
