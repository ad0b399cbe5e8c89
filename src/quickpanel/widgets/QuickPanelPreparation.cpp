#include "QuickPanelPreparation.h"

#include "QuickPanelResultRow.h"
#include "desktop/Glyphs.h"
#include "model/LinkTypePresentation.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QThreadPool>

namespace morvane {

void prepareQuickPanelAhead()
{
    QThreadPool::globalInstance()->start([] {
        // The desktop's font list is shared by every thread. The fonts themselves are not made here:
        // each thread keeps its own, and the memory they take at start would buy nothing measurable.
        QFontDatabase::families();
        for (const LinkType type : allLinkTypes())
            glyphPath(presentation(type).glyph);
        glyphPath(Glyph::chainLink);
        QMetaObject::invokeMethod(qApp, [patches = paintQuickPanelRowShadowPatches()]() mutable {
            keepQuickPanelRowPatches(std::move(patches));
        });
    });
}

} // namespace morvane
