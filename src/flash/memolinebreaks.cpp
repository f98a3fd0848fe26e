#include "memolinebreaks.h"

std::string TMemoLineBreaks::Convert(const std::string& piece)
{
    std::string text;
    text.reserve(piece.size() + piece.size() / 8);
    for (char c : piece) {
        if (c == '\r') {
            text += "\r\n";
        } else if (c == '\n') {
            if (!FAfterCr) {
                text += "\r\n";
            }
        } else {
            text += c;
        }
        FAfterCr = c == '\r';
    }
    return text;
}
