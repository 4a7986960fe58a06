// SPDX-License-Identifier: GPL-3.0-or-later
#include "languageswitcher.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QSettings>
#include <QTranslator>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

const QString kSettingsKey = QStringLiteral("language");
const QString kEnglishTranslation = QStringLiteral(":/i18n/electronic-skin_en.qm");

} // namespace

LanguageSwitcher::LanguageSwitcher(QObject *parent)
    : QObject(parent)
    , m_translator(new QTranslator(this))
{}

// The translator leaves the application with this object, and the interface returns to its
// own texts.
LanguageSwitcher::~LanguageSwitcher() = default;

std::optional<UiLanguage> LanguageSwitcher::fromCode(const QString &code)
{
    if (code == QLatin1String("zh"))
        return UiLanguage::Chinese;
    if (code == QLatin1String("en"))
        return UiLanguage::English;
    return std::nullopt;
}

QString LanguageSwitcher::code(UiLanguage language)
{
    return language == UiLanguage::English ? QStringLiteral("en") : QStringLiteral("zh");
}

UiLanguage LanguageSwitcher::remembered()
{
    const QString stored = QSettings().value(kSettingsKey).toString();
    // A value written by a later version, or by hand, falls back to the program's own texts.
    return fromCode(stored).value_or(UiLanguage::Chinese);
}

bool LanguageSwitcher::apply(UiLanguage language)
{
    if (language == m_current) {
        checkCurrentAction();
        return true;
    }
    if (language == UiLanguage::English) {
        if (!loadTranslation()) {
            checkCurrentAction();
            return false;
        }
        QCoreApplication::installTranslator(m_translator);
    } else {
        QCoreApplication::removeTranslator(m_translator);
    }
    m_current = language;
    checkCurrentAction();
    return true;
}

void LanguageSwitcher::choose(UiLanguage language)
{
    if (apply(language))
        QSettings().setValue(kSettingsKey, code(language));
}

bool LanguageSwitcher::loadTranslation()
{
    if (!m_loaded)
        m_loaded = m_translator->load(kEnglishTranslation);
    if (!m_loaded)
        qCWarning(lcApp) << "translation not loaded:" << kEnglishTranslation;
    return m_loaded;
}

void LanguageSwitcher::attachActions(QAction *chinese, QAction *english)
{
    m_chinese = chinese;
    m_english = english;
    auto *group = new QActionGroup(this);
    for (QAction *action : {chinese, english}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    connect(chinese, &QAction::triggered, this, [this] { choose(UiLanguage::Chinese); });
    connect(english, &QAction::triggered, this, [this] { choose(UiLanguage::English); });
    checkCurrentAction();
}

// Also after a failed switch, which leaves the entry the operator picked checked otherwise.
void LanguageSwitcher::checkCurrentAction()
{
    if (m_chinese)
        m_chinese->setChecked(m_current == UiLanguage::Chinese);
    if (m_english)
        m_english->setChecked(m_current == UiLanguage::English);
}
