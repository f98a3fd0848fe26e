// Feeds arbitrary bytes to the board's console as the window does: in reads, with each board message decoded and
// acted on (REBOOT resets the console, ACCESS has its address checked). The first byte sets how: its low six bits
// give the size of a read (1 to 63 bytes, 0 for all at once); bit 6 repeats the bytes until more than a console
// line's limit has been fed, so that long lines are cut; bit 7 has the handler of each message take the next read
// itself, as a handler that processes events does. Aborts when a shown message still shows a password, when a
// shown line outgrows any masking of its line, or when an address check or its refusal text breaks its promise.

#include "boardaddress.h"
#include "boardconsole.h"
#include "boardmessage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A masked value is at most this many times longer than the bytes it replaces (an empty string's quotes).
constexpr std::size_t MaskGrowth = 9;

[[noreturn]] void Broken(const char* what, std::string_view text)
{
    std::fprintf(stderr, "board console: %s\n%.*s\n", what, static_cast<int>(std::min<std::size_t>(text.size(), 400)),
                 text.data());
    std::abort();
}

class TReader
{
public:
    TReader(std::vector<std::string_view> reads, bool nested) : FReads(std::move(reads)), FNested(nested) {}

    void Run()
    {
        while (FNext < FReads.size()) {
            Console.Receive(FReads[FNext++], Sink);
        }
    }

private:
    void Show(const std::string& shown)
    {
        if (shown.size() > MaskGrowth * TBoardConsole::MaxLineLength + TBoardConsole::CutMark.size()) {
            Broken("a shown line outgrew its line", shown);
        }
        FLastShown = shown;
    }

    void Message(const std::string& text)
    {
        const TBoardMessage message = DecodeBoardMessage(text);
        CheckShownMessage(message);
        if (message.Kind == TBoardMessage::Access && !message.Address.empty()) {
            CheckAddress(message.Address.front());
        }
        if (message.Kind == TBoardMessage::Reboot) {
            Console.Reset();
        }
        if (FNested && FNext < FReads.size()) {
            Console.Receive(FReads[FNext++], Sink);
        }
    }

    // The shown copy of an INIT message read as a message again: every password it holds is masked or empty.
    void CheckShownMessage(const TBoardMessage& message)
    {
        const std::string shown = std::move(FLastShown);
        FLastShown.clear();
        if (message.Kind != TBoardMessage::Init || !shown.starts_with(TBoardConsole::JsonMarker)) {
            return;
        }
        const TBoardMessage masked = DecodeBoardMessage(shown.substr(TBoardConsole::JsonMarker.size()));
        for (TAccessField field : {TAccessField::Pass, TAccessField::BoardPass, TAccessField::InitPass}) {
            const auto index = static_cast<std::size_t>(field);
            if (index < masked.Fields.size() && !masked.Fields[index].empty() && masked.Fields[index] != "********") {
                Broken("a shown message shows a password", shown);
            }
        }
    }

    static void CheckAddress(const std::string& reported)
    {
        if (const auto address = ParseBoardAddress(reported)) {
            constexpr std::string_view Allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.:";
            if (reported.find_first_not_of(Allowed) != std::string::npos || !reported.starts_with(address->Host) ||
                address->Host.find(':') != std::string::npos || address->Port < 0 || address->Port > 65535) {
                Broken("an address was accepted that is none", reported);
            }
            return;
        }
        const std::string refusal = RefusedAddressText(reported);
        if (std::any_of(refusal.begin(), refusal.end(), [](char c) { return c < ' ' || c > '~'; })) {
            Broken("a refusal shows a byte that is no printable character", refusal);
        }
    }

    TBoardConsole Console;
    const TBoardConsole::TSink Sink{[this](const std::string& shown) { Show(shown); },
                                    [this](const std::string& text) { Message(text); }};
    std::vector<std::string_view> FReads;
    std::size_t FNext = 0;
    bool FNested;
    std::string FLastShown;
};

std::vector<std::string_view> Reads(std::string_view bytes, std::size_t size)
{
    std::vector<std::string_view> reads;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        reads.push_back(bytes.substr(at, size));
    }
    return reads;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::uint8_t settings = data[0];
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((settings & 0x40) != 0 && !bytes.empty()) {
        const std::string once = bytes;
        while (bytes.size() <= TBoardConsole::MaxLineLength) {
            bytes += once;
        }
    }
    const std::size_t readSize = (settings & 0x3F) == 0 ? std::max<std::size_t>(bytes.size(), 1) : settings & 0x3F;
    TReader(Reads(bytes, readSize), (settings & 0x80) != 0).Run();
    return 0;
}
