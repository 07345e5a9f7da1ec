#include "platform/AppearanceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

namespace schauplatz {

AppearanceDialog::AppearanceDialog(QWidget* parent, AppearanceDialogRequest request)
    : QDialog(parent), m_request(std::move(request)) {
    setWindowTitle(QStringLiteral("Darstellung"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_smooth = new QCheckBox(QStringLiteral("Kanten und Verkleinerung glätten"), this);
    form->addRow(QStringLiteral("Glätten"), m_smooth);
    connect(m_smooth, &QCheckBox::toggled, this, [this] { changed(); });
    m_brightness = addField(*form, QStringLiteral("Helligkeit"), kLightMin, kLightMax, {});
    m_contrast = addField(*form, QStringLiteral("Kontrast"), kLightMin, kLightMax, {});
    m_temperature = addField(*form, QStringLiteral("Farbtemperatur"), kLightMin, kLightMax, {});
    m_opacity = addField(*form, QStringLiteral("Deckkraft"), 0, kOpacityMax, {});
    m_depth = addField(*form, QStringLiteral("Schatten Tiefe"), 0, kShadowDepthMax,
                       QStringLiteral(" px"));
    m_darkness = addField(*form, QStringLiteral("Schatten Stärke"), 0, kShadowDarknessMax,
                          QStringLiteral(" %"));
    m_side = new QComboBox(this);
    m_side->addItem(QStringLiteral("links"));
    m_side->addItem(QStringLiteral("rechts"));
    form->addRow(QStringLiteral("Schattenseite"), m_side);
    connect(m_side, &QComboBox::currentIndexChanged, this, [this] { changed(); });

    auto* match = new QPushButton(QStringLiteral("Automatisch an Fassade anpassen"), this);
    match->setEnabled(static_cast<bool>(m_request.autoMatch));
    connect(match, &QPushButton::clicked, this, [this] {
        if (m_request.autoMatch) setSettings(m_request.autoMatch(settings()));
    });
    layout->addWidget(match);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    m_quiet = true;
    setSettings(m_request.initial);
}

AppearanceDialog::Field AppearanceDialog::addField(QFormLayout& form, const QString& label,
                                                   int minimum, int maximum,
                                                   const QString& suffix) {
    Field field;
    auto* row = new QHBoxLayout;
    field.slider = new QSlider(Qt::Horizontal, this);
    field.slider->setRange(minimum, maximum);
    field.slider->setMinimumWidth(220);
    field.spin = new QSpinBox(this);
    field.spin->setRange(minimum, maximum);
    field.spin->setSuffix(suffix);
    field.spin->setMinimumWidth(90);
    row->addWidget(field.slider, 1);
    row->addWidget(field.spin);
    form.addRow(label, row);
    QSlider* slider = field.slider;
    QSpinBox* spin = field.spin;
    connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
    connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    // The number field is the one source: a slider step reaches it, then the preview.
    connect(spin, &QSpinBox::valueChanged, this, [this] { changed(); });
    return field;
}

TAppearance AppearanceDialog::settings() const {
    TAppearance a;
    a.Smooth = m_smooth->isChecked();
    a.Brightness = m_brightness.spin->value();
    a.Contrast = m_contrast.spin->value();
    a.Temperature = m_temperature.spin->value();
    a.Opacity = m_opacity.spin->value();
    a.ShadowDepth = m_depth.spin->value();
    a.ShadowDarkness = m_darkness.spin->value();
    a.ShadowSide = m_side->currentIndex() == 1 ? TShadowSide::Right : TShadowSide::Left;
    return a;
}

void AppearanceDialog::setSettings(const TAppearance& given) {
    const TAppearance a = ClampAppearance(given);
    const bool wasQuiet = m_quiet;
    m_quiet = true;
    m_smooth->setChecked(a.Smooth);
    m_brightness.spin->setValue(a.Brightness);
    m_contrast.spin->setValue(a.Contrast);
    m_temperature.spin->setValue(a.Temperature);
    m_opacity.spin->setValue(a.Opacity);
    m_depth.spin->setValue(a.ShadowDepth);
    m_darkness.spin->setValue(a.ShadowDarkness);
    m_side->setCurrentIndex(a.ShadowSide == TShadowSide::Right ? 1 : 0);
    m_quiet = false;
    // The first showing previews nothing: the element is drawn with these settings already.
    if (!wasQuiet) changed();
}

void AppearanceDialog::changed() {
    if (m_quiet || !m_request.preview) return;
    m_request.preview(settings());
}

} // namespace schauplatz
