#include "ReaderWidgets/Style/ReaderTheme.h"

#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QWidget>

namespace tavrine {

QPalette ReaderTheme::palette() {
    struct RoleColour {
        QPalette::ColorRole role;
        const ReaderColor& colour;
    };
    static const RoleColour kRoles[] = {
        {QPalette::Window, ReaderPalette::background},
        {QPalette::Shadow, ReaderPalette::background},
        {QPalette::WindowText, ReaderPalette::text},
        {QPalette::Text, ReaderPalette::text},
        {QPalette::ButtonText, ReaderPalette::text},
        {QPalette::Base, ReaderPalette::surface},
        {QPalette::Button, ReaderPalette::surface},
        {QPalette::ToolTipBase, ReaderPalette::surface},
        {QPalette::AlternateBase, ReaderPalette::sidebar},
        {QPalette::ToolTipText, ReaderPalette::text},
        {QPalette::PlaceholderText, ReaderPalette::secondaryText},
        {QPalette::Highlight, ReaderPalette::control},
        {QPalette::HighlightedText, ReaderPalette::background},
        {QPalette::Light, ReaderPalette::border},
        {QPalette::Midlight, ReaderPalette::border},
        {QPalette::Mid, ReaderPalette::border},
        {QPalette::Dark, ReaderPalette::sidebar},
        {QPalette::Link, ReaderPalette::gold},
        {QPalette::LinkVisited, ReaderPalette::gold},
        {QPalette::BrightText, ReaderPalette::gold},
    };
    QPalette palette;
    for (const RoleColour& entry : kRoles) palette.setColor(entry.role, toQColor(entry.colour));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, toQColor(ReaderPalette::secondaryText));
    }
    return palette;
}

void ReaderTheme::apply(QWidget& widget) {
    widget.setPalette(palette());
    widget.setAutoFillBackground(true);
}

}  // namespace tavrine
