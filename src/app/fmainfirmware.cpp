// The Firmware page: the catalogue list, and Upload's download with its progress bar before the flashing step.

#include "fmain.h"

#include "filelocations.h"
#include "firmwarecatalogue.h"
#include "firmwarefile.h"
#include "httpsend.h"
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
    const int selected = CBProject->currentIndex();
    if (selected < 0 || selected >= static_cast<int>(CatalogueEntries.size())) {
        return;
    }
    BUpload->setEnabled(false);
    // Whatever way the flow ends, an error included, the button comes back and the bar goes away.
    const struct TUploadEnd
    {
        TFMain* Window;
        ~TUploadEnd()
        {
            Window->PB->setVisible(false);
            Window->BUpload->setEnabled(true);
        }
    } uploadEnd{this};

    // A copy: selecting the page again during the upload fetches the catalogue anew.
    const TCatalogueEntry entry = CatalogueEntries[static_cast<std::size_t>(selected)];
    MFirmware->clear();
    MFirmware->AddLine(QString::fromStdString("Start download firmware: " + entry.Version));
    PB->SetPosition(0);
    DownloadedBytes = 0;

    const std::string address = CatalogueAddress() + ImagePath + PercentEncode(entry.Version);
    const std::int64_t size = GetDownloadSize(address);
    PB->SetMaximum(static_cast<int>(std::min<std::int64_t>(size, std::numeric_limits<int>::max())));
    PB->setVisible(true);
    QCoreApplication::processEvents();

    THTTPSend http;
    VerifyServer(http);
    http.Sock.OnStatus = [this](TBlockSocket* sender, THookSocketReason reason, const std::string& value) {
        DownloadSockStatus(sender, reason, value);
    };
    if (!http.PerformRequest("GET", address)) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString(http.Sock.ErrorText));
        return;
    }
    // An error page is never stored, and so never written onto the board.
    if (http.ResultCode() < 200 || http.ResultCode() > 299) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString(std::to_string(http.ResultCode()) + " " + http.ResultString()));
        return;
    }
    // Neither is an image that is not the one the catalogue describes.
    if (const std::string mismatch = ImageMismatch(entry, http.Document.View()); !mismatch.empty()) {
        MFirmware->AddLine(QStringLiteral("Download error!"));
        MFirmware->AddLine(QString::fromStdString("The image is not the catalogue's: " + mismatch +
                                                  ". Nothing was stored or flashed."));
        return;
    }
    SaveFirmwareFile(WorkDirectory(), http.Document.View());
    MFirmware->AddLine(QStringLiteral("Download successful!"));
    MFirmware->AddLine(QStringLiteral("Prepare uploader..."));
    if (FlashFirmware()) {
        // The user sees the board start the new firmware on its console.
        PCMain->SetActivePage(TSConnect);
        BComConnClick();
    }
}

std::int64_t TFMain::GetDownloadSize(const std::string& address)
{
    THTTPSend http;
    VerifyServer(http);
    if (!http.PerformRequest("HEAD", address)) {
        throw std::runtime_error("Internet error!");
    }
    return DownloadSizeFromHead(http.Headers);
}

void TFMain::DownloadSockStatus(TBlockSocket* /*sender*/, THookSocketReason reason, const std::string& value)
{
    if (reason != HR_ReadCount) {
        return;
    }
    DownloadedBytes += ReadCountBytes(value);
    if (DownloadedBytes > 0) {
        PB->SetPosition(static_cast<int>(std::min<std::int64_t>(DownloadedBytes, std::numeric_limits<int>::max())));
    }
    QCoreApplication::processEvents();
}
