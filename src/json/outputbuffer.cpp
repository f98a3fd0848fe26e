#include "outputbuffer.h"

#include <algorithm>
#include <cstring>

namespace quorlane::json {

namespace {

constexpr std::size_t InitialCapacity = 50000;

} // namespace

TOutputBuffer::TOutputBuffer() : FData(new char[InitialCapacity]), FCapacity(InitialCapacity) {}

void TOutputBuffer::Put(std::string_view text)
{
    char* at = Room(text.size());
    std::memcpy(at, text.data(), text.size());
    FSize += text.size();
}

char* TOutputBuffer::Grow(std::size_t count)
{
    const std::size_t capacity = std::max(FCapacity * 2, FSize + count);
    std::unique_ptr<char[]> data(new char[capacity]);
    std::memcpy(data.get(), FData.get(), FSize);
    FData = std::move(data);
    FCapacity = capacity;
    return FData.get() + FSize;
}

} // namespace quorlane::json
