#pragma once

#include <QtGlobal>

// The sensor's holding registers. In the measurement and calibration registers the high byte
// selects the object: 0 the average of the four detection units, 1 to 4 one unit.
enum class Register : quint16 {
    DeviceAddress = 0x0000,
    Sleep = 0x00A2,
    FactoryReset = 0x00A5,
    WorkMode = 0x00A6,
    SelfCheck = 0x00A7,
    TempHumi = 0x00A8,
    ManualCleanDust = 0x00A9,
    AutoCleanDust = 0x00AA,
    HeatMode = 0x00AB,
    HeatTemp = 0x00AC,
    HeatHumi = 0x00AD,
    GlobalOnOff = 0x00AE,
    Protocol = 0x00B1,
    Measurement = 0x00B4,
    CalibratePm25 = 0x00C3,
    CalibratePm10 = 0x00C5,
    CalibratePm100 = 0x00C7,
    Weights = 0x00C9,
    BaudRate = 0x00CD,
};

struct RegisterInfo
{
    Register reg;
    quint16 readCount; // registers a query reads; 0 where the register is write-only
    bool perObject;    // high byte of the address is the object selector
};

// One row per register the tool reads or writes.
constexpr RegisterInfo registerTable[] = {
    {Register::DeviceAddress, 1, false}, {Register::Sleep, 0, false},
    {Register::FactoryReset, 0, false},  {Register::WorkMode, 1, false},
    {Register::SelfCheck, 1, false},     {Register::TempHumi, 1, false},
    {Register::ManualCleanDust, 0, false}, {Register::AutoCleanDust, 1, false},
    {Register::HeatMode, 1, false},      {Register::HeatTemp, 1, false},
    {Register::HeatHumi, 1, false},      {Register::GlobalOnOff, 1, false},
    {Register::Protocol, 0, false},      {Register::Measurement, 4, true},
    {Register::CalibratePm25, 2, true},  {Register::CalibratePm10, 2, true},
    {Register::CalibratePm100, 2, true}, {Register::Weights, 4, false},
    {Register::BaudRate, 0, false},
};

constexpr const RegisterInfo &registerInfo(Register reg)
{
    for (const RegisterInfo &info : registerTable)
        if (info.reg == reg)
            return info;
    return registerTable[0];
}

constexpr quint16 registerAddress(Register reg, quint8 object = 0)
{
    return registerInfo(reg).perObject ? quint16((object << 8) | quint16(reg)) : quint16(reg);
}

constexpr int detectionUnits = 4;

// Calibration ranges in the order of the range selector.
constexpr Register calibrationRanges[] = {Register::CalibratePm25, Register::CalibratePm10,
                                          Register::CalibratePm100};

// Value of register Protocol.
enum class ProtocolCode : quint8 { Native = 0, Modbus = 3 };

// Line-rate codes of register BaudRate, with the rate each stands for.
struct BaudRateCode
{
    quint8 code;
    qint32 baud;
};
constexpr BaudRateCode baudRateCodes[] = {{2, 4800}, {3, 9600}, {4, 19200}};
