// SPDX-License-Identifier: GPL-3.0-or-later
#include "languageswitcher.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QSettings>
#include <QTranslator>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

const QString kSettingsKey = QStringLiteral("language");
const QString kEnglishTranslation = QStringLiteral(":/i18n/electronic-skin_en.qm");
// Qt's own texts in the windows: message boxes and dialogs (qtbase), the serial port's error
// texts (qtserialport). Qt's source texts are English, so English needs none of them.
const char *const kQtCatalogs[] = {"qtbase", "qtserialport"};

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
    if (m_applied && language == m_current) {
        checkCurrentAction();
        return true;
    }
    if (language == UiLanguage::English) {
        if (!loadTranslation()) {
            // At start, the interface stays in its own language, with Qt's texts to match.
            if (!std::exchange(m_applied, true))
                useQtTranslations(m_current);
            checkCurrentAction();
            return false;
        }
        QCoreApplication::installTranslator(m_translator);
    } else {
        QCoreApplication::removeTranslator(m_translator);
    }
    useQtTranslations(language);
    m_current = language;
    m_applied = true;
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

void LanguageSwitcher::useQtTranslations(UiLanguage language)
{
    if (language == UiLanguage::Chinese)
        loadQtChinese();
    for (QTranslator *translator : std::as_const(m_qtChinese)) {
        if (language == UiLanguage::Chinese)
            QCoreApplication::installTranslator(translator);
        else
            QCoreApplication::removeTranslator(translator);
    }
}

// Qt's translations are a separate Debian package (qt6-translations-l10n); without it Qt's own
// texts stay English, and the program's own are Chinese all the same.
void LanguageSwitcher::loadQtChinese()
{
    if (m_qtChineseLoaded)
        return;
    m_qtChineseLoaded = true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    for (const char *catalog : kQtCatalogs) {
        auto *translator = new QTranslator(this);
        if (translator->load(chinese, QLatin1String(catalog), QStringLiteral("_"), folder)) {
            m_qtChinese.append(translator);
        } else {
            qCDebug(lcApp) << "no Qt translation" << catalog << "for" << chinese.name() << "in"
                           << folder;
            delete translator;
        }
    }
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
