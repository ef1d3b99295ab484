#pragma once

#include "CliCommand.h"

#include "core/Operator.h"

// The operator of a terminal: messages are printed on standard error, questions
// answered No, status lines printed on standard output.
class ConsoleOperator final : public OperatorInterface {
public:
    explicit ConsoleOperator(CliIo& io) : m_io(io) {}

    bool AskYesNo(const QString& text) override {
        m_io.err << text << " (answered no)\n";
        m_io.err.flush();
        return false;
    }
    void Inform(const QString& text) override {
        ++messages;
        m_io.err << text << '\n';
        m_io.err.flush();
    }
    void ShowError(const QString& text) override {
        ++messages;
        m_io.err << text << '\n';
        m_io.err.flush();
    }
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString& text) override {
        m_io.out << "status: " << text << '\n';
        m_io.out.flush();
    }

    int messages = 0;

private:
    CliIo& m_io;
};
