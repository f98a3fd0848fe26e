// The Firmware page: the catalogue list, and Upload's download with its progress bar before the flashing step.

#include "fmain.h"

#include "firmwarecatalogue.h"
#include "flashcommands.h"
#include "flowscope.h"
#include "httpsend.h"
#include "imagefile.h"
#include "memo.h"
#include "ownimage.h"
#include "pagecontrol.h"
#include "progressbar.h"
#include "proxyenvironment.h"
#include "sessionlogentries.h"
#include "settings.h"
#include "urltext.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <stdexcept>

using namespace quorlane::net;

namespace {

// The memo line that names the proxy a request went through; none for a direct request.
QString ProxyLine(const char* what, const TProxyChoice& proxy)
{
    return proxy.Proxy ? QString::fromStdString(std::string(what) + " " + proxy.Description()) : QString();
}

} // namespace

// Every request of the page: the server's certificate and host name checked against the system's trusted
// certificates (an unchecked download would let anyone on the way put their image on the board), the proxy the
// environment names, a deadline and a limit on what the server may send, and the window kept responsive while the
// request waits, with Cancel stopping it. Throws std::runtime_error naming a malformed proxy variable.
TProxyChoice TFMain::PrepareRequest(THTTPSend& http, const std::string& url, std::chrono::milliseconds deadline,
                                    std::int64_t maxBody)
{
    http.Sock.Tls->VerifyCert = true;
    const TProxyChoice proxy = ProxyForUrl(url);
    if (!proxy.Error.empty()) {
        throw std::runtime_error(proxy.Error);
    }
    ApplyProxy(http, proxy);
    http.Deadline = deadline;
    http.MaxBodySize = maxBody;
    constexpr int HeartbeatMs = 100;
    http.Sock.HeartbeatRate = HeartbeatMs;
    http.Sock.OnHeartbeat = [this](TBlockSocket* socket) {
        QCoreApplication::processEvents();
        socket->StopFlag = socket->StopFlag || FCancelRequested;
    };
    return proxy;
}

// One fetch at a time; Upload reads Cancel meanwhile. A fetch while an upload runs (the user selected the page again)
// shares the upload's Cancel.
void TFMain::AGetFirmwareListExecute()
{
    if (FFlow == TFlow::Catalogue) {
        return;
    }
    std::optional<TFlowScope> fetch;
    if (FFlow == TFlow::None) {
        fetch.emplace(*this, TFlow::Catalogue, BUpload, QList<QWidget*>{BComInit, BImageFile, BBackup});
    }
    THTTPSend http;
    std::vector<std::string> lines;
    TCatalogue catalogue;
    QString proxyLine;
    try {
        const std::string url = CatalogueAddress() + CataloguePath;
        const TProxyChoice proxy = PrepareRequest(http, url, CatalogueDeadline, MaxCatalogueSize);
        proxyLine = ProxyLine("Catalogue", proxy);
        const TRequestLog request("GET", url, proxy);
        catalogue = request.Ended(http, HttpGetLines(http, url, lines))
                        ? ReadCatalogue(http.ResultCode(), http.Headers, lines)
                        : TCatalogue{{}, CatalogueErrorPrefix + http.FailureText()};
    } catch (const std::runtime_error& refused) {
        catalogue.Error = CatalogueErrorPrefix + std::string(refused.what());
    }

    const int remembered = CBProject->currentIndex();
    CBProject->clear();
    CatalogueEntries = catalogue.Entries;
    for (const TCatalogueEntry& entry : CatalogueEntries) {
        CBProject->addItem(QString::fromStdString(entry.Text()));
    }
    // The memo shows how the latest fetch went, not every failure since the program started.
    MFirmware->RemoveLinesStartingWith(QString::fromLatin1(CatalogueErrorPrefix));
    MFirmware->RemoveLinesStartingWith(QStringLiteral("Catalogue via proxy"));
    if (!proxyLine.isEmpty()) {
        MFirmware->AddLine(proxyLine);
    }
    if (!catalogue.Error.empty()) {
        MFirmware->AddLine(QString::fromStdString(catalogue.Error));
        CBProject->setCurrentIndex(-1);
    } else {
        const int position = remembered >= 0 ? remembered : 0;
        CBProject->setCurrentIndex(position < CBProject->count() ? position : -1);
    }
    if (fetch) {
        fetch.reset();
        ShowBackupAbility();
    }
    EndFlashFlow();
}

// A flow of the Firmware page that holds the port: its button reads Cancel meanwhile and the bar goes away at its end;
// when the tool ran, the board is connected again with the flow's outcome as the console's first line.
void TFMain::RunPortFlow(TFlow flow, QPushButton* button, const std::string& port,
                         const std::function<std::optional<std::string>()>& body)
{
    std::optional<std::string> outcome;
    {
        const TFlowScope scope(*this, flow, button, PinnedControls(button), port);
        const struct THideBar
        {
            TQProgressBar* Bar;
            ~THideBar() { Bar->setVisible(false); }
        } hideBar{PB};
        outcome = body();
    }
    if (outcome) {
        PCMain->SetActivePage(TSConnect);
        ReconnectAfterFlash(port, QString::fromStdString(*outcome));
    }
    EndFlashFlow();
}

void TFMain::BUploadClick()
{
    // Upload reads Cancel during a catalogue fetch too.
    const int selected = CBProject->currentIndex();
    if (!MayStart(FFlow == TFlow::Catalogue ? TFlow::Catalogue : TFlow::Upload) || selected < 0 ||
        selected >= static_cast<int>(CatalogueEntries.size())) {
        return;
    }
    // Copies: selecting the page again during the upload fetches the catalogue anew, and the port is the one chosen
    // now, whatever the port list shows later.
    const TCatalogueEntry entry = CatalogueEntries[static_cast<std::size_t>(selected)];
    const std::string port = SelectedPort();
    RunPortFlow(TFlow::Upload, BUpload, port, [&]() -> std::optional<std::string> {
        const std::optional<TFlashRun> flashed = UploadFirmware(entry, port);
        if (!flashed) {
            return std::nullopt;
        }
        return UploadOutcomeText(*flashed, entry.Name + " " + entry.Version);
    });
}

// The user's own image goes the way of a catalogue image once it has passed the checks that make it one for the
// board; the tool gets a copy of exactly the bytes checked.
void TFMain::BImageFileClick()
{
    if (!MayStart(TFlow::OwnImage)) {
        return;
    }
    const std::string path =
        AskFile({"ImageFileDialog", "Flash an image file", false, "ESP8266 images (*.bin)", "ImageFolder"});
    if (!path.empty()) {
        FlashImageFile(path, SelectedPort());
    }
}

void TFMain::FlashImageFile(const std::string& path, const std::string& port)
{
    const std::string name = std::filesystem::path(path).filename().string();
    MFirmware->clear();
    std::string bytes;
    std::string problem;
    try {
        bytes = ReadImageFile(path);
        problem = OwnImageProblem(name, bytes);
    } catch (const std::runtime_error& unreadable) {
        problem = unreadable.what();
    }
    if (!problem.empty()) {
        MFirmware->AddLine(QString::fromStdString(problem + ". Nothing was flashed."));
        return;
    }
    RunPortFlow(TFlow::OwnImage, BImageFile, port, [&]() -> std::optional<std::string> {
        MFirmware->AddLine(QString::fromStdString("Image file: " + path + " (" + std::to_string(bytes.size()) +
                                                  " bytes, SHA-256 " + Sha256Hex(bytes) + ")"));
        const TImageFile image(PrivateDirectory(), bytes);
        return UploadOutcomeText(FlashFirmware(image.Path(), port), name);
    });
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
    if (const QString proxy = ProxyLine("Download", ProxyForUrl(address)); !proxy.isEmpty()) {
        MFirmware->AddLine(proxy);
    }
    const std::int64_t size = GetDownloadSize(address);
    if (FCancelRequested) {
        MFirmware->AddLine(QStringLiteral("Download cancelled: nothing was stored or flashed."));
        return std::nullopt;
    }
    PB->SetMaximum(static_cast<int>(std::min<std::int64_t>(size, std::numeric_limits<int>::max())));
    PB->setVisible(true);
    QCoreApplication::processEvents();

    // No image is larger than the board's flash, nor than the catalogue says it is.
    const std::int64_t limit = entry.Size.value_or(FlashSize);
    THTTPSend http;
    const TRequestLog request("GET", address, PrepareRequest(http, address, ImageDeadline(limit), limit));
    http.Sock.OnStatus = [this](TBlockSocket* sender, THookSocketReason reason, const std::string& value) {
        DownloadSockStatus(sender, reason, value);
    };
    const bool received = request.Ended(http, http.PerformRequest("GET", address));
    if (FCancelRequested) {
        MFirmware->AddLine(QStringLiteral("Download cancelled: nothing was stored or flashed."));
        return std::nullopt;
    }
    if (!received) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString(http.FailureText()));
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
    const TRequestLog request("HEAD", address, PrepareRequest(http, address, CatalogueDeadline, 0));
    if (!request.Ended(http, http.PerformRequest("HEAD", address))) {
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
