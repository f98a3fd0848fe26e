// The Firmware page: the catalogue list, and Upload's download with its progress bar before the flashing step.

#include "fmain.h"

#include "firmwarecatalogue.h"
#include "flashflowscope.h"
#include "httpsend.h"
#include "imagefile.h"
#include "memo.h"
#include "pagecontrol.h"
#include "progressbar.h"
#include "urltext.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <stdexcept>

using namespace quorlane::net;

namespace {

// The catalogue and the images are fetched with the server's certificate and host name checked against the
// system's trusted certificates: an unchecked download would let anyone on the way put their image on the board.
void VerifyServer(THTTPSend& http)
{
    http.Sock.Tls->VerifyCert = true;
}

// While a request waits for the server, the window keeps processing its events, and Cancel stops the request.
void StopOnCancel(THTTPSend& http, const bool& cancelRequested)
{
    constexpr int HeartbeatMs = 100;
    http.Sock.HeartbeatRate = HeartbeatMs;
    http.Sock.OnHeartbeat = [&cancelRequested](TBlockSocket* socket) {
        QCoreApplication::processEvents();
        socket->StopFlag = socket->StopFlag || cancelRequested;
    };
}

} // namespace

void TFMain::AGetFirmwareListExecute()
{
    THTTPSend http;
    VerifyServer(http);
    std::vector<std::string> lines;
    const bool fetched = HttpGetLines(http, CatalogueAddress() + CataloguePath, lines);

    const int remembered = CBProject->currentIndex();
    CBProject->clear();

    const TCatalogue catalogue = fetched ? ReadCatalogue(http.ResultCode(), http.Headers, lines)
                                         : TCatalogue{{}, CatalogueErrorPrefix + http.Sock.ErrorText};
    CatalogueEntries = catalogue.Entries;
    for (const TCatalogueEntry& entry : CatalogueEntries) {
        CBProject->addItem(QString::fromStdString(entry.Text()));
    }
    // The memo shows how the latest fetch went, not every failure since the program started.
    MFirmware->RemoveLinesStartingWith(QString::fromLatin1(CatalogueErrorPrefix));
    if (!catalogue.Error.empty()) {
        MFirmware->AddLine(QString::fromStdString(catalogue.Error));
        CBProject->setCurrentIndex(-1);
        return;
    }
    const int position = remembered >= 0 ? remembered : 0;
    CBProject->setCurrentIndex(position < CBProject->count() ? position : -1);
}

void TFMain::BUploadClick()
{
    if (FFlow == TFlashFlow::Upload) {
        FCancelRequested = true;
        return;
    }
    const int selected = CBProject->currentIndex();
    if (FFlow != TFlashFlow::None || selected < 0 || selected >= static_cast<int>(CatalogueEntries.size())) {
        return;
    }
    // Copies: selecting the page again during the upload fetches the catalogue anew, and the port is the one chosen
    // now, whatever the port list shows later.
    const TCatalogueEntry entry = CatalogueEntries[static_cast<std::size_t>(selected)];
    const std::string port = SelectedPort();
    std::optional<TFlashRun> flashed;
    {
        const TFlashFlowScope flow(*this, TFlashFlow::Upload, BUpload,
                                   {CBComPort, BComRefresh, BComConn, BComDisconn, BComInit});
        // Whatever way the flow ends, an error included, the bar goes away.
        const struct THideBar
        {
            TQProgressBar* Bar;
            ~THideBar() { Bar->setVisible(false); }
        } hideBar{PB};
        flashed = UploadFirmware(entry, port);
    }
    if (flashed) {
        // The user sees the outcome first in the console, where the board starts again.
        PCMain->SetActivePage(TSConnect);
        ReconnectAfterFlash(port, QString::fromStdString(UploadOutcomeText(*flashed, entry.Name + " " + entry.Version)));
    }
    EndFlashFlow();
}

// The download, its checks and the flash; nothing is flashed unless the whole image arrived as the catalogue
// describes it, and the tool is given exactly the bytes checked. Returns how the tool ended; none when it did not
// run.
std::optional<TFlashRun> TFMain::UploadFirmware(const TCatalogueEntry& entry, const std::string& port)
{
    MFirmware->clear();
    MFirmware->AddLine(QString::fromStdString("Start download firmware: " + entry.Version));
    // The bar shows from the size query's answer on.
    PB->setVisible(false);
    PB->SetPosition(0);
    DownloadedBytes = 0;

    const std::string address = CatalogueAddress() + ImagePath + PercentEncode(entry.Version);
    const std::int64_t size = GetDownloadSize(address);
    if (FCancelRequested) {
        MFirmware->AddLine(QStringLiteral("Download cancelled: nothing was stored or flashed."));
        return std::nullopt;
    }
    PB->SetMaximum(static_cast<int>(std::min<std::int64_t>(size, std::numeric_limits<int>::max())));
    PB->setVisible(true);
    QCoreApplication::processEvents();

    THTTPSend http;
    VerifyServer(http);
    StopOnCancel(http, FCancelRequested);
    http.Sock.OnStatus = [this](TBlockSocket* sender, THookSocketReason reason, const std::string& value) {
        DownloadSockStatus(sender, reason, value);
    };
    const bool received = http.PerformRequest("GET", address);
    if (FCancelRequested) {
        MFirmware->AddLine(QStringLiteral("Download cancelled: nothing was stored or flashed."));
        return std::nullopt;
    }
    if (!received) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString(http.Sock.ErrorText));
        return std::nullopt;
    }
    // An error page is never stored, and so never written onto the board.
    if (http.ResultCode() < 200 || http.ResultCode() > 299) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString(std::to_string(http.ResultCode()) + " " + http.ResultString()));
        return std::nullopt;
    }
    // Neither is an image that is not the one the catalogue describes.
    if (const std::string mismatch = ImageMismatch(entry, http.Document.View()); !mismatch.empty()) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString("The image is not the catalogue's: " + mismatch +
                                                  ". Nothing was stored or flashed."));
        return std::nullopt;
    }
    const TImageFile image(PrivateDirectory(), http.Document.View());
    MFirmware->AddLine(QStringLiteral("Download successful!"));
    MFirmware->AddLine(QStringLiteral("Prepare uploader..."));
    return FlashFirmware(image.Path(), port);
}

std::int64_t TFMain::GetDownloadSize(const std::string& address)
{
    THTTPSend http;
    VerifyServer(http);
    StopOnCancel(http, FCancelRequested);
    if (!http.PerformRequest("HEAD", address)) {
        if (FCancelRequested) {
            return -1;
        }
        throw std::runtime_error("Internet error!");
    }
    return DownloadSizeFromHead(http.Headers);
}

void TFMain::DownloadSockStatus(TBlockSocket* sender, THookSocketReason reason, const std::string& value)
{
    if (reason != HR_ReadCount) {
        return;
    }
    DownloadedBytes += ReadCountBytes(value);
    if (DownloadedBytes > 0) {
        PB->SetPosition(static_cast<int>(std::min<std::int64_t>(DownloadedBytes, std::numeric_limits<int>::max())));
    }
    QCoreApplication::processEvents();
    if (FCancelRequested && sender != nullptr) {
        sender->StopFlag = true;
    }
}
