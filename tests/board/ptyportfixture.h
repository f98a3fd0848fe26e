#pragma once

#include "handover.h"
#include "linuxportdriver.h"
#include "serialport.h"
#include "servehandover.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>

// A real pseudo-terminal: the test holds the master side (the "device"), the port opens the slave side
// through the Linux driver. The test thread plays the main thread.
class PtyPortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(Master, 0);
        ASSERT_EQ(grantpt(Master), 0);
        ASSERT_EQ(unlockpt(Master), 0);
        SlavePath = ptsname(Master);
        Port = std::make_unique<TSerialPort>(std::make_unique<TLinuxPortDriver>(), HandOver);
        Port->SetPort(SlavePath);
    }

    void TearDown() override
    {
        Port.reset();
        CloseMaster();
    }

    void CloseMaster()
    {
        if (Master >= 0)
            close(Master);
        Master = -1;
    }

    // Everything the port wrote, as far as it has arrived within `milliseconds`, up to `count` bytes.
    std::string ReadFromDevice(std::size_t count, int milliseconds = 3000)
    {
        std::string data;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        char buffer[4096];
        while (data.size() < count && std::chrono::steady_clock::now() < until) {
            pollfd item{Master, POLLIN, 0};
            if (poll(&item, 1, 50) <= 0)
                continue;
            const ssize_t n = read(Master, buffer, sizeof buffer);
            if (n > 0)
                data.append(buffer, static_cast<std::size_t>(n));
        }
        return data;
    }

    void WriteToPort(const std::string& data)
    {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = write(Master, data.data() + done, data.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

    bool ServeUntil(const std::function<bool()>& done, int milliseconds = 3000)
    {
        return ServeHandOverUntil(HandOver, done, milliseconds);
    }

    THandOver HandOver;
    int Master = -1;
    std::string SlavePath;
    std::unique_ptr<TSerialPort> Port;
};
