#include "app/ApplicationLook.h"

#include <array>

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace quarvel {

namespace {

/// One look: the Qt style and the colours its palette is made from (0xRRGGBB).
struct LookColours {
    int id;
    const char* style;
    unsigned window;
    unsigned button;
    unsigned base;
    unsigned text;
    unsigned highlight;
    unsigned highlightedText;
};

// clang-format off
constexpr std::array kLooks = {
    LookColours{205, "Windows", 0xD4D0C8, 0xD4D0C8, 0xFFFFFF, 0x000000, 0x0A246A, 0xFFFFFF},  // Windows 2000
    LookColours{206, "Fusion",  0xF7F6F3, 0xEEEDE8, 0xFFFFFF, 0x000000, 0xB6BDD2, 0x000000},  // Office XP
    LookColours{207, "Windows", 0xECE9D8, 0xF4F3EE, 0xFFFFFF, 0x000000, 0x316AC5, 0xFFFFFF},  // Windows XP
    LookColours{208, "Fusion",  0xC3DAF9, 0xDDEBFD, 0xFFFFFF, 0x000000, 0xFFD27A, 0x000000},  // Office 2003
    LookColours{209, "Fusion",  0xE5E2D6, 0xF5F4EE, 0xFFFFFF, 0x000000, 0x316AC5, 0xFFFFFF},  // Visual Studio 2005
    LookColours{210, "Fusion",  0xE9ECF2, 0xF3F5F8, 0xFFFFFF, 0x1E1E1E, 0x3399FF, 0xFFFFFF},  // Visual Studio 2008
    LookColours{215, "Fusion",  0xD5E4F2, 0xE6EFF9, 0xFFFFFF, 0x15428B, 0xFFD87A, 0x000000},  // Blue
    LookColours{216, "Fusion",  0x3A3A3C, 0x4A4A4D, 0x262628, 0xEEEEEE, 0xE8A33D, 0x000000},  // Black
    LookColours{217, "Fusion",  0xE2E5EA, 0xF1F2F5, 0xFFFFFF, 0x2A2A2A, 0xFFD87A, 0x000000},  // Silver
    LookColours{218, "Fusion",  0xCDE6E9, 0xE1F1F3, 0xFFFFFF, 0x0F3C44, 0x7CC6D2, 0x000000},  // Aqua
    LookColours{219, "Fusion",  0xF0F0F0, 0xF8F8F8, 0xFFFFFF, 0x000000, 0x3399FF, 0xFFFFFF},  // Windows 7
};
// clang-format on

const LookColours* FindLook(int id) {
    for (const LookColours& look : kLooks) {
        if (look.id == id) {
            return &look;
        }
    }
    return nullptr;
}

QColor Rgb(unsigned value) {
    return QColor::fromRgb(static_cast<QRgb>(value));
}

QPalette MakePalette(const LookColours& look) {
    // QPalette(button, window) derives the light, mid and dark shades from the button colour.
    QPalette palette(Rgb(look.button), Rgb(look.window));
    const QColor text = Rgb(look.text);
    palette.setColor(QPalette::Base, Rgb(look.base));
    palette.setColor(QPalette::AlternateBase, Rgb(look.window).lighter(104));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, Rgb(look.base));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, Rgb(look.highlight));
    palette.setColor(QPalette::HighlightedText, Rgb(look.highlightedText));
    const QColor disabled =
        Rgb(look.window).lightness() < 128 ? QColor(130, 130, 130) : QColor(128, 128, 128);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    return palette;
}

}  // namespace

bool IsApplicationLook(int id) {
    return FindLook(id) != nullptr;
}

bool ApplyApplicationLook(int id) {
    const LookColours* look = FindLook(id);
    if (look == nullptr) {
        return false;
    }
    QStyle* style = QStyleFactory::create(QString::fromLatin1(look->style));
    if (style == nullptr) {
        style = QStyleFactory::create(QStringLiteral("Fusion"));
    }
    if (style != nullptr) {
        QApplication::setStyle(style);
    }
    QApplication::setPalette(MakePalette(*look));
    return true;
}

}  // namespace quarvel
