#include "serialport.h"

#include "comthread.h"
#include "linuxportdriver.h"

#include <array>

namespace {

const std::array<const char*, 16> ComPortMessages{
    "Попытка открыть несуществующий COM-порт",
    "Порт занят другой программой",
    "Ошибка записи в порт",
    "Ошибка чтения из порта",
    "Недопустимый параметр Async",
    "Ошибка функции PurgeComm",
    "Не удалось получить статус асинхронной операции",
    "Ошибка функции SetCommState",
    "Ошибка функции SetCommTimeouts",
    "Ошибка функции SetupComm",
    "Ошибка функции ClearCommError",
    "Ошибка функции GetCommModemStatus",
    "Ошибка функции EscapeCommFunction",
    "Нельзя менять свойство, пока порт открыт",
    "Ошибка обращения к системному реестру",
    "Нет прав доступа к COM-порту",
};

constexpr std::array<std::uint32_t, 15> BaudRates{110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                                  19200, 38400, 56000, 57600, 115200, 128000, 256000};

std::uint32_t DriverTimeout(int value)
{
    return value < 0 ? TPortTimeouts::NoLimit : static_cast<std::uint32_t>(value);
}

TComErrors ComErrorsFromWord(std::uint32_t word, TParity parity)
{
    TComErrors errors = 0;
    if (word & PortBits::CeFrame)
        errors |= ceFrame;
    if ((word & PortBits::CeRxParity) && parity != paNone)
        errors |= ceRxParity;
    if (word & PortBits::CeOverrun)
        errors |= ceOverrun;
    if (word & PortBits::CeRxOver)
        errors |= ceRxOver;
    if (word & PortBits::CeTxFull)
        errors |= ceTxFull;
    if (word & PortBits::CeBreak)
        errors |= ceBreak;
    if (word & PortBits::CeIoe)
        errors |= ceIO;
    if (word & PortBits::CeMode)
        errors |= ceMode;
    return errors;
}

} // namespace

EComPort::EComPort(int index, const std::string& advice)
    : std::runtime_error(advice.empty() ? ComPortMessages.at(index) : ComPortMessages.at(index) + ("\n" + advice)),
      FIndex(index)
{
}

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& other)
{
    FReadInterval = other.FReadInterval;
    FReadTotalMultiplier = other.FReadTotalMultiplier;
    FReadTotalConstant = other.FReadTotalConstant;
    FWriteTotalMultiplier = other.FWriteTotalMultiplier;
    FWriteTotalConstant = other.FWriteTotalConstant;
    return *this;
}

void TComTimeouts::SetReadInterval(int value)
{
    Store(FReadInterval, value);
}

void TComTimeouts::SetReadTotalMultiplier(int value)
{
    Store(FReadTotalMultiplier, value);
}

void TComTimeouts::SetReadTotalConstant(int value)
{
    Store(FReadTotalConstant, value);
}

void TComTimeouts::SetWriteTotalMultiplier(int value)
{
    Store(FWriteTotalMultiplier, value);
}

void TComTimeouts::SetWriteTotalConstant(int value)
{
    Store(FWriteTotalConstant, value);
}

TPortTimeouts TComTimeouts::ToDriver() const
{
    TPortTimeouts timeouts;
    timeouts.ReadInterval = DriverTimeout(FReadInterval);
    timeouts.ReadTotalMultiplier = DriverTimeout(FReadTotalMultiplier);
    timeouts.ReadTotalConstant = DriverTimeout(FReadTotalConstant);
    timeouts.WriteTotalMultiplier = DriverTimeout(FWriteTotalMultiplier);
    timeouts.WriteTotalConstant = DriverTimeout(FWriteTotalConstant);
    return timeouts;
}

void TComTimeouts::Store(int& field, int value)
{
    if (field == value)
        return;
    field = value;
    if (FOwner)
        FOwner->ApplyTimeouts();
}

TSerialPort::TSerialPort() : TSerialPort(std::make_unique<TLinuxPortDriver>(), MainThreadHandOver()) {}

TSerialPort::TSerialPort(std::unique_ptr<IPortDriver> driver, THandOver& handOver)
    : FDriver(std::move(driver)), FHandOver(handOver)
{
}

// A close that fails (a modem line or the purge refused) must still not leave the thread running on a
// destroyed port, so the destructor then stops and closes regardless.
TSerialPort::~TSerialPort()
{
    try {
        ClosePort();
    } catch (const EComPort&) {
        FClosing = true;
        StopWaitThread();
        ClosePortHandle();
        FConnected = false;
        FHandOver.Withdraw(this);
    }
}

bool TSerialPort::OpenPort()
{
    if (FConnected)
        return true;
    const EOpenResult result = FDriver->Open(FPort);
    switch (result) {
    case EOpenResult::NotFound:
        throw EComPort(EComPort::NotFound);
    case EOpenResult::Busy:
        throw EComPort(EComPort::Busy, FDriver->OpenAdvice(result, FPort));
    case EOpenResult::AccessDenied:
        throw EComPort(EComPort::NoPermission, FDriver->OpenAdvice(result, FPort));
    case EOpenResult::Opened:
    case EOpenResult::OtherFailure:
        break;
    }
    FLost = false;
    FConnected = true;
    ++FOpenings;
    try {
        ApplySettings();
    } catch (const EComPort&) {
        ClosePortHandle();
        FConnected = false;
        throw;
    }
    FWaitThread = std::make_unique<TComThread>(*this);
    return FConnected;
}

// Lowering the lines of a device that has vanished can only fail; it is skipped so that the port can
// still be closed. Only received bytes are purged: what a write reported as sent must still reach the device.
bool TSerialPort::ClosePort()
{
    if (!FConnected)
        return true;
    if (!FLost) {
        SetDTRLine(false);
        SetRTSLine(false);
        if (!FDriver->Purge(PortBits::PurgeRxAbort))
            throw EComPort(EComPort::PurgeFailed);
    }
    FClosing = true;
    StopWaitThread();
    ClosePortHandle();
    FConnected = false;
    FClosing = false;
    FHandOver.Withdraw(this);
    return true;
}

// Keeps serving hand-overs while waiting, so that a dispatch already queued completes and closing never
// deadlocks against it.
void TSerialPort::StopWaitThread()
{
    if (!FWaitThread)
        return;
    FWaitThread->StopWaiting();
    FHandOver.Interrupt();
    do {
        FHandOver.ProcessPending();
    } while (!FWaitThread->WaitFinished(5));
    FWaitThread.reset();
}

void TSerialPort::ClosePortHandle()
{
    if (FDriver->IsOpen())
        FDriver->Close();
}

bool TSerialPort::Lost() const
{
    return FLost;
}

void TSerialPort::ReportLost()
{
    if (FConnected && !FClosing && OnPortLost)
        OnPortLost(*this);
}

void TSerialPort::SetDTRLine(bool state)
{
    if (!FDriver->Escape(state ? EEscape::SetDtr : EEscape::ClearDtr))
        throw EComPort(EComPort::EscapeFailed);
}

void TSerialPort::SetRTSLine(bool state)
{
    if (!FDriver->Escape(state ? EEscape::SetRts : EEscape::ClearRts))
        throw EComPort(EComPort::EscapeFailed);
}

int TSerialPort::WriteText(const std::string& data)
{
    TAsyncRequest request;
    StartWriteText(&request, data);
    return WaitRequest(&request);
}

int TSerialPort::ReadText(std::string& data, int count)
{
    TAsyncRequest request;
    StartReadText(&request, data, count);
    const int read = WaitRequest(&request);
    data.resize(static_cast<std::size_t>(read));
    return read;
}

int TSerialPort::BytesWaiting()
{
    std::uint32_t errors = 0;
    std::uint32_t inQueue = 0;
    if (!FDriver->ClearError(errors, inQueue))
        throw EComPort(EComPort::ClearErrorFailed);
    return static_cast<int>(inQueue);
}

TModemSignals TSerialPort::ModemSignals()
{
    std::uint32_t status = 0;
    if (!FDriver->ModemStatus(status))
        throw EComPort(EComPort::ModemStatusFailed);
    TModemSignals signals = 0;
    if (status & PortBits::MsCtsOn)
        signals |= msCTS;
    if (status & PortBits::MsDsrOn)
        signals |= msDSR;
    if (status & PortBits::MsRingOn)
        signals |= msRing;
    if (status & PortBits::MsRlsdOn)
        signals |= msRLSD;
    return signals;
}

void TSerialPort::PurgePort()
{
    if (!FDriver->Purge(PortBits::PurgeTxAbort | PortBits::PurgeRxAbort))
        throw EComPort(EComPort::PurgeFailed);
}

void TSerialPort::ApplySettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
}

void TSerialPort::ApplyBufferSizes()
{
    if (!FConnected)
        return;
    if (!FDriver->SetupQueues(FInBufSize, FOutBufSize))
        throw EComPort(EComPort::SetupFailed);
}

void TSerialPort::ApplyLineSettings()
{
    if (!FConnected)
        return;
    TPortLineSettings settings;
    settings.BaudRate = BaudRates.at(FBaudRate);
    settings.ByteSize = static_cast<std::uint8_t>(FByteSize + 5);
    settings.Parity = static_cast<std::uint8_t>(FParity);
    settings.StopBits = static_cast<std::uint8_t>(FStopBits);
    settings.ParityCheck = FParity != paNone;
    if (!FDriver->SetLineSettings(settings))
        throw EComPort(EComPort::LineSettingsFailed);
}

void TSerialPort::ApplyTimeouts()
{
    if (!FConnected)
        return;
    if (!FDriver->SetTimeouts(FTimeouts.ToDriver()))
        throw EComPort(EComPort::TimeoutsFailed);
}

void TSerialPort::StartWrite(TAsyncRequest* request, const char* buffer, int count)
{
    if (!request)
        throw EComPort(EComPort::BadAsync);
    request->Kind = TAsyncRequest::akWrite;
    if (count < 0)
        throw EComPort(EComPort::WriteFailed);
    const TTransfer transfer = FDriver->Write(buffer, static_cast<std::size_t>(count));
    if (!transfer.Started)
        throw EComPort(EComPort::WriteFailed);
    request->Succeeded = transfer.Succeeded;
    request->Transferred = transfer.Bytes;
}

void TSerialPort::StartWriteText(TAsyncRequest* request, const std::string& data)
{
    if (data.empty())
        return;
    StartWrite(request, data.data(), static_cast<int>(data.size()));
}

void TSerialPort::StartRead(TAsyncRequest* request, char* buffer, int count)
{
    if (!request)
        throw EComPort(EComPort::BadAsync);
    request->Kind = TAsyncRequest::akRead;
    if (count < 0)
        throw EComPort(EComPort::ReadFailed);
    const TTransfer transfer = FDriver->Read(buffer, static_cast<std::size_t>(count));
    if (!transfer.Started)
        throw EComPort(EComPort::ReadFailed);
    request->Succeeded = transfer.Succeeded;
    request->Transferred = transfer.Bytes;
}

void TSerialPort::StartReadText(TAsyncRequest* request, std::string& data, int count)
{
    data.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count <= 0)
        return;
    StartRead(request, data.data(), count);
}

int TSerialPort::WaitRequest(TAsyncRequest* request)
{
    if (!request)
        throw EComPort(EComPort::BadAsync);
    if (!request->Succeeded)
        throw EComPort(request->Kind == TAsyncRequest::akRead ? EComPort::ReadFailed : EComPort::WriteFailed);
    return static_cast<int>(request->Transferred);
}

void TSerialPort::SetBaudRate(TBaudRate value)
{
    if (value == FBaudRate)
        return;
    FBaudRate = value;
    ApplyLineSettings();
}

void TSerialPort::SetByteSize(TByteSize value)
{
    if (value == FByteSize)
        return;
    FByteSize = value;
    ApplyLineSettings();
}

void TSerialPort::SetParity(TParity value)
{
    if (value == FParity)
        return;
    FParity = value;
    ApplyLineSettings();
}

void TSerialPort::SetStopBits(TStopBits value)
{
    if (value == FStopBits)
        return;
    FStopBits = value;
    ApplyLineSettings();
}

void TSerialPort::SetInBufSize(int value)
{
    if (value == FInBufSize)
        return;
    FInBufSize = value % 2 != 0 ? value - 1 : value;
    ApplyBufferSizes();
}

void TSerialPort::SetOutBufSize(int value)
{
    if (value == FOutBufSize)
        return;
    FOutBufSize = value % 2 != 0 ? value - 1 : value;
    ApplyBufferSizes();
}

void TSerialPort::SetPort(const std::string& value)
{
    if (FConnected)
        throw EComPort(EComPort::PropertyLocked);
    FPort = value;
}

void TSerialPort::SetSyncMethod(TSyncMethod value)
{
    if (value == FSyncMethod)
        return;
    if (FConnected)
        throw EComPort(EComPort::PropertyLocked);
    FSyncMethod = value;
}

void TSerialPort::SetTimeouts(const TComTimeouts& value)
{
    FTimeouts = value;
    ApplyTimeouts();
}

void TSerialPort::DispatchPortEvents(TPortEvents events)
{
    for (const TPortEvent event : DispatchOrder) {
        if (events & event)
            DispatchSingle(event);
    }
}

void TSerialPort::DispatchSingle(TPortEvent event)
{
    switch (event) {
    case peError: {
        std::uint32_t word = 0;
        std::uint32_t inQueue = 0;
        if (!FDriver->ClearError(word, inQueue))
            throw EComPort(EComPort::ClearErrorFailed);
        const TComErrors errors = ComErrorsFromWord(word, FParity);
        if (errors != 0 && OnError)
            OnError(*this, errors);
        break;
    }
    case peRxChar: {
        const int count = BytesWaiting();
        if (count > 0 && OnRxChar)
            OnRxChar(*this, count);
        break;
    }
    case peTxEmpty:
        if (OnTxEmpty)
            OnTxEmpty(*this);
        break;
    case peRing:
        if (OnRing)
            OnRing(*this);
        break;
    case peCTS:
        if (OnCTSChange)
            OnCTSChange(*this, (ModemSignals() & msCTS) != 0);
        break;
    case peDSR:
        if (OnDSRChange)
            OnDSRChange(*this, (ModemSignals() & msDSR) != 0);
        break;
    case peRLSD:
        if (OnRLSDChange)
            OnRLSDChange(*this, (ModemSignals() & msRLSD) != 0);
        break;
    case peRx80Full:
        if (OnRx80Full)
            OnRx80Full(*this);
        break;
    }
}
