// SPDX-License-Identifier: GPL-3.0-or-later
#include "demarcate.h"
#include "ui_demarcate.h"

#include "arraytab.h"
#include "calibrationrun.h"
#include "myserialport.h"
#include "singletab.h"

#include <algorithm>

namespace {

// demarcateOperationResult tells the request it answers by the request's command code.
constexpr int kOptionRemoveAllPoints = CmdRemoveAllPoints;
constexpr int kOptionSingleWrite = CmdSingleWrite;
constexpr int kOptionSingleRemoveAll = CmdSingleRemoveAll;

} // namespace

Demarcate::Demarcate(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Demarcate>())
{
    ui->setupUi(this);
    m_run = new CalibrationRun(this);
    m_arrayTab = new ArrayTab(ui.get(), this, m_run, &m_entries);
    m_singleTab = new SingleTab(ui.get(), this, m_run, &m_entries);
    connect(m_singleTab, &SingleTab::demarcateSingleRemove, this,
            &Demarcate::demarcateSingleRemove);
    fillChoices();
    connect(m_run, &CalibrationRun::timedOut, this, &Demarcate::demarcateProgressTimerout);
}

Demarcate::~Demarcate() = default;

void Demarcate::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

// The form's texts, then those that follow the dialog's state.
void Demarcate::retranslate()
{
    ui->retranslateUi(this);
    m_arrayTab->retranslate();
    m_singleTab->retranslate();
    m_run->retranslate();
    followPort();
}

// The index-change slots fire as the first items arrive and set up both tabs' selections.
void Demarcate::fillChoices()
{
    for (const char *axis : kAxisNames) {
        ui->comAxitSelect->addItem(QString::fromLatin1(axis));
        ui->comSingleAxitSelect->addItem(QString::fromLatin1(axis));
    }
    ui->sensorIdSelect->addItem(QStringLiteral("1"));
}

void Demarcate::setSerial(MySerialport *serial)
{
    if (m_serial) {
        disconnect(m_serial, nullptr, this, nullptr);
        disconnect(this, &Demarcate::demarcateSingleRemove, m_serial, nullptr);
    }
    registerDeviceRecordTypes();
    m_serial = serial;
    m_run->setCard(serial);
    m_arrayTab->setCard(serial);
    m_singleTab->setCard(serial);
    followPort();
    if (!serial)
        return;
    connect(serial, &MySerialport::flushMainwindowsSerialView, this, &Demarcate::followPort);
    connect(serial, &SlaveProtocol::demarcateInfo, this, &Demarcate::demarcateInfoReadResult);
    connect(serial, &SlaveProtocol::demarcateOperationResult, this,
            &Demarcate::demarcateOperationResult);
    connect(serial, &SlaveProtocol::demarcateRemoveResult, this, &Demarcate::demarcateRemoveResult);
    connect(serial, &SlaveProtocol::demarcateSingleRemoveResult, this,
            &Demarcate::demarcateSingleRemoveResult);
    connect(serial, &SlaveProtocol::demarcateSingleReadInfo, this,
            &Demarcate::demarcateSingleReadResult);
    connect(this, &Demarcate::demarcateSingleRemove, serial, &SlaveProtocol::demarcateSingleRemove);
}

// The port's state is read where it is kept, in the driver-card object, each time the worker
// reports that it changed. Every button that asks something of the card works only while the
// port is open, and says so.
void Demarcate::followPort()
{
    const bool open = m_serial && m_serial->isPortOpen();
    const QString why = open ? QString() : tr("请打开通信接口");
    for (QPushButton *button : {ui->btnRead, ui->btnRemove, ui->btnRemoveAll, ui->btnDemarcate,
                                ui->btnSingleRead, ui->btnSingleRemove, ui->btnSingleRemoveAll,
                                ui->btnSingleDemarcate, ui->btnSingleWrite}) {
        button->setEnabled(open);
        button->setToolTip(why);
    }
}

void Demarcate::setSensorSum(uint sum)
{
    // The tables and lists have room for 16 sensors.
    const int count = int(std::min<uint>(sum, kMaxSensors));
    m_arrayTab->setSensorSum(count);
    m_singleTab->setSensorSum(count);
}

void Demarcate::demarcateProgressTimerout()
{
    m_run->cancel();
}

void Demarcate::demarcateOperationResult(int option, int res, int param)
{
    Q_UNUSED(param)
    switch (option) {
    case kOptionRemoveAllPoints:
        m_arrayTab->answerRemoveAll(res);
        break;
    case kOptionSingleWrite:
        m_singleTab->answerWrite(res);
        break;
    case kOptionSingleRemoveAll:
        m_singleTab->answerRemoveAll(res);
        break;
    default:
        break;
    }
}

// ---- Array tab ------------------------------------------------------------------------------

void Demarcate::on_comAxitSelect_currentIndexChanged(int index)
{
    if (m_arrayTab)
        m_arrayTab->selectAxis(index);
}

void Demarcate::on_btnRead_clicked()
{
    m_arrayTab->read();
}

void Demarcate::on_btnRemove_clicked()
{
    m_arrayTab->removeTicked();
}

void Demarcate::on_btnRemoveAll_clicked()
{
    m_arrayTab->removeAll();
}

void Demarcate::on_btnWrite_clicked()
{
    m_arrayTab->write();
}

void Demarcate::on_btnDemarcate_clicked()
{
    m_arrayTab->calibrate();
}

void Demarcate::demarcateInfoReadResult(int type, short pressure, QList<short> &info)
{
    m_arrayTab->takePoint(type, pressure, info);
}

void Demarcate::demarcateRemoveResult(int res, int xyz, QList<short> &list)
{
    m_arrayTab->answerRemove(res, xyz, list);
}

// ---- Single-point tab -----------------------------------------------------------------------

void Demarcate::on_sensorIdSelect_currentIndexChanged(int)
{
    if (m_singleTab)
        m_singleTab->selectList();
}

void Demarcate::on_comSingleAxitSelect_currentIndexChanged(int)
{
    if (m_singleTab)
        m_singleTab->selectList();
}

void Demarcate::on_btnSingleDemarcate_clicked()
{
    m_singleTab->calibrate();
}

void Demarcate::on_btnSingleWrite_clicked()
{
    m_singleTab->write();
}

void Demarcate::on_btnSingleRead_clicked()
{
    m_singleTab->read();
}

void Demarcate::on_btnSingleRemove_clicked()
{
    m_singleTab->removeTicked();
}

void Demarcate::on_btnSingleRemoveAll_clicked()
{
    m_singleTab->removeAll();
}

void Demarcate::on_ltxtSingleDemarcate_editingFinished()
{
    m_singleTab->checkValueField();
}

void Demarcate::on_ltxtSinglePressure_editingFinished()
{
    m_singleTab->checkPressureField();
}

void Demarcate::demarcateSingleReadResult(int xyz, int sensorId,
                                          QList<singleDemarcateInfoUnit_t> &list)
{
    m_singleTab->answerRead(xyz, sensorId, list);
}

void Demarcate::demarcateSingleRemoveResult(int res, int xyz, int sensorId, QList<short> &list)
{
    m_singleTab->answerRemove(res, xyz, sensorId, list);
}
