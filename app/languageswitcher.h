// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LANGUAGESWITCHER_H
#define LANGUAGESWITCHER_H

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QAction;
class QTranslator;

// The languages of the interface. Chinese is the program's own: its texts are written in it.
enum class UiLanguage { Chinese, English };

// Switches the whole interface between the program's own Chinese texts and the English
// translation built into the resources, and remembers the operator's choice between runs.
// Installing or removing the translation makes Qt send every window a LanguageChange event,
// upon which each window sets its texts anew.
class LanguageSwitcher : public QObject
{
    Q_OBJECT
public:
    explicit LanguageSwitcher(QObject *parent = nullptr);
    ~LanguageSwitcher() override;

    // "zh" or "en", as on the command line and in the settings.
    static std::optional<UiLanguage> fromCode(const QString &code);
    static QString code(UiLanguage language);
    // The operator's last choice from the menu; Chinese when none was ever made.
    static UiLanguage remembered();

    UiLanguage current() const { return m_current; }

    // Switches for this run only. False, with the interface left as it was, when the
    // translation cannot be loaded.
    bool apply(UiLanguage language);
    // Switches and remembers: the operator's choice from the menu.
    void choose(UiLanguage language);
    // The menu's two entries: the one of the current language is checked, and triggering one
    // chooses its language.
    void attachActions(QAction *chinese, QAction *english);

private:
    bool loadTranslation();
    void checkCurrentAction();

    QTranslator *m_translator = nullptr;
    bool m_loaded = false;
    UiLanguage m_current = UiLanguage::Chinese;
    QPointer<QAction> m_chinese;
    QPointer<QAction> m_english;
};

#endif // LANGUAGESWITCHER_H
