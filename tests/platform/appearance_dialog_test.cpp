// The dialog "Darstellung": its fields show the settings given, every change reaches the
// preview once, the automatic matching fills the light fields, and OK and Abbrechen.

#include "QtTestApp.h"
#include "platform/AppearanceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace schauplatz::testing {
namespace {

TAppearance given() {
    TAppearance a;
    a.Smooth = true;
    a.Brightness = 15;
    a.Contrast = -5;
    a.Temperature = 20;
    a.Opacity = 200;
    a.ShadowDepth = 30;
    a.ShadowDarkness = 45;
    a.ShadowSide = TShadowSide::Right;
    return a;
}

TEST(AppearanceDialog, ShowsTheSettingsAndPreviewsEveryChange) {
    testApp();
    std::vector<TAppearance> previews;
    AppearanceDialogRequest request;
    request.initial = given();
    request.preview = [&previews](const TAppearance& a) { previews.push_back(a); };
    request.autoMatch = [](const TAppearance& shown) {
        TAppearance matched = shown;
        matched.Brightness = -33;
        matched.Contrast = 7;
        matched.Temperature = 11;
        return matched;
    };
    AppearanceDialog dialog(nullptr, request);
    EXPECT_EQ(dialog.settings(), given());
    EXPECT_TRUE(previews.empty()) << "showing the settings previews nothing";

    // A slider moved: the number field follows, one preview.
    const QList<QSlider*> sliders = dialog.findChildren<QSlider*>();
    ASSERT_EQ(sliders.size(), 6);
    sliders[0]->setValue(-60);
    ASSERT_EQ(previews.size(), 1u);
    EXPECT_EQ(previews.back().Brightness, -60);
    EXPECT_EQ(dialog.settings().Brightness, -60);

    dialog.findChild<QCheckBox*>()->setChecked(false);
    dialog.findChild<QComboBox*>()->setCurrentIndex(0);
    EXPECT_FALSE(previews.back().Smooth);
    EXPECT_EQ(previews.back().ShadowSide, TShadowSide::Left);

    // The automatic matching: three fields set, one preview with all of them.
    const std::size_t before = previews.size();
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Automatisch an Fassade anpassen")) button->click();
    ASSERT_EQ(previews.size(), before + 1);
    EXPECT_EQ(previews.back().Brightness, -33);
    EXPECT_EQ(previews.back().Contrast, 7);
    EXPECT_EQ(previews.back().Temperature, 11);
    EXPECT_EQ(previews.back().Opacity, 200);
    EXPECT_EQ(dialog.settings(), previews.back());
}

TEST(AppearanceDialog, ValuesOutOfRangeAreShownClampedAndTheButtonsAreGerman) {
    testApp();
    AppearanceDialogRequest request;
    request.initial.Brightness = 500;
    request.initial.ShadowDepth = -3;
    AppearanceDialog dialog(nullptr, request);
    EXPECT_EQ(dialog.settings().Brightness, 100);
    EXPECT_EQ(dialog.settings().ShadowDepth, 0);
    QStringList texts;
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        texts << button->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("OK")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Abbrechen")));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Darstellung"));
}

} // namespace
} // namespace schauplatz::testing
