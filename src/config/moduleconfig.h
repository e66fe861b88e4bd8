#pragma once

class Form1;

// Taking up the module selected in the grid, and writing a new configuration into it.
class ModuleConfig
{
public:
    explicit ModuleConfig(Form1 &form) : m_form(form) {}

    void Com_Configuration_Click();
    void Com_Write_Click();

private:
    void ResetIoPanel();

    Form1 &m_form;
};
