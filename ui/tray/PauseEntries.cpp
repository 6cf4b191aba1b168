// SPDX-License-Identifier: GPL-3.0-or-later
#include "PauseEntries.h"

#include "model/PanelModel.h"

#include <QMenu>

namespace OrvelanNimbal::Panel {

void addPauseEntries(QMenu &menu, PanelModel &model)
{
    QAction *pause = menu.addAction(QStringLiteral("Mettre en pause la synchronisation"), &model,
                                    [&model] { model.setSyncPaused(true); });
    QAction *resume = menu.addAction(QStringLiteral("Reprendre la synchronisation"), &model,
                                     [&model] { model.setSyncPaused(false); });
    menu.addSeparator();
    // Read as the menu opens: the pause may have been set elsewhere since (a terminal).
    QObject::connect(&menu, &QMenu::aboutToShow, &model, [&model, pause, resume] {
        const bool signedIn = model.account().has_value();
        pause->setVisible(signedIn && !model.syncPaused());
        resume->setVisible(signedIn && model.syncPaused());
    });
}

} // namespace OrvelanNimbal::Panel
