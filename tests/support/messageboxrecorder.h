// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MESSAGEBOXRECORDER_H
#define MESSAGEBOXRECORDER_H

// Records every modal message box the program shows (icon, title, text) and answers it, so that
// windowed tests run without an operator. Boxes are found by polling the active modal widget.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

struct RecordedBox
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QString informativeText;
};

class MessageBoxRecorder : public QObject
{
public:
    // `answer` is the button pressed on each box; a box without it gets its escape or default.
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok,
                                QObject *parent = nullptr)
        : QObject(parent)
        , m_answer(answer)
    {
        m_poll.setInterval(20);
        connect(&m_poll, &QTimer::timeout, this, &MessageBoxRecorder::answerOpenBox);
        m_poll.start();
    }

    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }
    // Keeps boxes open for this long before answering them.
    void setAnswerDelay(int ms) { m_delayMs = ms; }

    QList<RecordedBox> boxes;

    QStringList texts() const
    {
        QStringList out;
        for (const RecordedBox &box : boxes)
            out << box.text;
        return out;
    }

private:
    void answerOpenBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        // A box with another opened on top of it is active again once that one is answered.
        if (!box || box == m_answering || box->property("recorded").toBool())
            return;
        box->setProperty("recorded", true);
        m_answering = box;
        boxes.append({box->icon(), box->windowTitle(), box->text(), box->informativeText()});
        QTimer::singleShot(m_delayMs, box, [this, box] {
            QAbstractButton *button = box->button(m_answer);
            if (!button)
                button = box->escapeButton();
            if (!button)
                button = box->defaultButton();
            if (button)
                button->click();
            else
                box->reject();
            m_answering = nullptr;
        });
    }

    QTimer m_poll;
    QMessageBox::StandardButton m_answer;
    int m_delayMs = 0;
    QPointer<QMessageBox> m_answering;
};

#endif // MESSAGEBOXRECORDER_H
