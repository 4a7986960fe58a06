// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvetoolbar.h"

#include <QAction>
#include <QSettings>

namespace {

void remember(QAction *option, const QString &key, bool byDefault)
{
    option->setChecked(QSettings().value(key, byDefault).toBool());
    QObject::connect(option, &QAction::toggled, option,
                     [key](bool checked) { QSettings().setValue(key, checked); });
}

} // namespace

CurveToolBar::CurveToolBar(const Actions &actions, QWidget *parent)
    : QToolBar(parent)
{
    setObjectName(QStringLiteral("curveToolBar"));
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    addActions({actions.pause, actions.autoRange, actions.marker});
    addSeparator();
    addActions({actions.savePicture, actions.copyPicture, actions.saveShown});
    addSeparator();
    addActions({actions.legend, actions.legendOutside, actions.fitShown, actions.timeAxis});
    remember(actions.legend, QStringLiteral("curves/legend"), true);
    remember(actions.legendOutside, QStringLiteral("curves/legendOutside"), false);
    remember(actions.fitShown, QStringLiteral("curves/fitShown"), false);
    remember(actions.timeAxis, QStringLiteral("curves/timeAxis"), false);
}
