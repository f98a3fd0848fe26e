#pragma once

#include "fakeportdriver.h"
#include "handover.h"
#include "serialport.h"
#include "servehandover.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

// A port on the fake driver with its own hand-over; the test thread plays the main thread.
class FakePortTest : public ::testing::Test
{
protected:
    FakePortTest()
    {
        auto driver = std::make_unique<TFakePortDriver>();
        Driver = driver.get();
        Port = std::make_unique<TSerialPort>(std::move(driver), HandOver);
    }

    // Serves hand-overs as the main thread would until `done` holds or `milliseconds` pass.
    bool ServeUntil(const std::function<bool()>& done, int milliseconds = 2000)
    {
        return ServeHandOverUntil(HandOver, done, milliseconds);
    }

    // Serves hand-overs for `milliseconds` (to show that nothing further arrives).
    void ServeFor(int milliseconds)
    {
        ServeUntil([] { return false; }, milliseconds);
    }

    THandOver HandOver;
    TFakePortDriver* Driver = nullptr;
    std::unique_ptr<TSerialPort> Port;
};

#define EXPECT_COM_ERROR(statement, index)                                                                             \
    try {                                                                                                              \
        statement;                                                                                                     \
        ADD_FAILURE() << "no EComPort raised, expected message " << (index);                                           \
    } catch (const EComPort& error) {                                                                                  \
        EXPECT_EQ(error.Index(), (index)) << error.what();                                                             \
    }
