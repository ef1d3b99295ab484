#pragma once

#include "CardBank.h"

#include "link/StationLink.h"

#include <QString>

#include <memory>
#include <vector>

// A station link and a bank of simulated cards, both on 127.0.0.1, on a port
// offset that was free when they were set up, so any number of rigs can run
// side by side (parallel tests, benchmarks). The station's three listeners are
// active when the rig is ok().
class LoopbackRig {
public:
    explicit LoopbackRig(const std::vector<SimCardSpec>& cards, unsigned seed = 1);

    bool ok() const { return m_link != nullptr; }
    const QString& error() const { return m_error; }
    int portOffset() const { return m_offset; }
    StationLink& link() { return *m_link; }
    CardBank& bank() { return *m_bank; }

private:
    int m_offset = 0;
    QString m_error;
    std::unique_ptr<CardBank> m_bank;
    std::unique_ptr<StationLink> m_link;
};

// Simulated cards alone on 127.0.0.1, on a port offset that was free, for tests
// whose station is another process (the command-line tool). `bank` is null when
// no offset could be bound; `error` then says why.
struct LoopbackCards {
    int offset = 0;
    std::unique_ptr<CardBank> bank;
    QString error;
};
LoopbackCards StartLoopbackCards(const std::vector<SimCardSpec>& cards);

// A card setup with a MAC made from a number (02-00-00-00-hi-lo), for tests.
SimCardSpec TestCard(int number, ScreenId screen = ScreenId::h);
