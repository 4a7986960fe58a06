// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LANGUAGESWITCHER_H
#define LANGUAGESWITCHER_H

#include <QList>
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
// Qt's own texts (standard buttons, file dialogs) follow: in Chinese, Qt's Chinese catalogs from
// the system's Qt translations are installed too, when the system has them.
// Installing or removing a translation makes Qt send every window a LanguageChange event,
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

    // Switches for this run only; the first call installs the language's translations even when
    // it is Chinese. False, with the interface left as it was, when the translation cannot be
    // loaded.
    bool apply(UiLanguage language);
    // Switches and remembers: the operator's choice from the menu.
    void choose(UiLanguage language);
    // The menu's two entries: the one of the current language is checked, and triggering one
    // chooses its language.
    void attachActions(QAction *chinese, QAction *english);

private:
    bool loadTranslation();
    void useQtTranslations(UiLanguage language);
    void loadQtChinese();
    void checkCurrentAction();

    QTranslator *m_translator = nullptr;
    bool m_loaded = false;
    // Qt's own Chinese catalogs that the system has; loaded once, on the first switch to Chinese.
    QList<QTranslator *> m_qtChinese;
    bool m_qtChineseLoaded = false;
    bool m_applied = false;
    UiLanguage m_current = UiLanguage::Chinese;
    QPointer<QAction> m_chinese;
    QPointer<QAction> m_english;
};

#endif // LANGUAGESWITCHER_H
