#pragma once

#include <QString>

class Form1;

// Taking up the module selected in the grid, and writing a new configuration into it.
class ModuleConfig
{
public:
    explicit ModuleConfig(Form1 &form) : m_form(form) {}

    void Com_Configuration_Click();
    void Com_Write_Click();

    // The codes of the configuration command, by the list index of their combo box (-1: none
    // selected).
    static QString baudRateCode(int listIndex);
    static QString moduleIdCode(int listIndex);
    static QString digitalModeDigit(int listIndex);
    static QString analogModeDigit(int listIndex);
    static QString rangeCode(int listIndex);
    static QString formatDigit(int listIndex);

private:
    void ResetIoPanel();
    // The fields and panel as for a module that gave no known model code.
    void leaveUnidentified();
    void readCounters(int count);

    Form1 &m_form;
};
