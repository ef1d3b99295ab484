#pragma once

#include "CardOnline.h"
#include "Commands.h"
#include "DataSlices.h"
#include "MacAddress.h"
#include "ScreenLink.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// One datagram a card is to receive, in the order it receives them.
struct CardStep {
    enum class Kind { Connect, Write, Swap };
    Kind kind = Kind::Write;
    int plane = 1;     // Write: 1 or 2
    DataSlice slice{}; // Write
};

struct PipelineCard {
    int index = 0; // in the screen's card list, and so in CardOnline
    MacAddress mac{};
    std::vector<CardStep> steps;
};

// The bytes the Write and Swap steps carry.
struct PipelinePayload {
    std::array<std::span<const std::uint8_t>, 2> planes; // plane 1, plane 2
    int effect = 0;
    int speed = 0;
    int stay = 0;
    int extent = 0;
};

// Whether a new command may start: Held stops new ones (those outstanding run
// on to their answer or the end of their attempts); Terminate abandons the run.
enum class PipelineGate { Open, Held, Terminate };
enum class PipelineOutcome { Done, CardsChanged, Terminated };

// What the pipeline asks of its owner, all on the pipeline's thread.
struct PipelineHooks {
    std::function<PipelineGate()> gate;
    // Nothing is outstanding and the gate is not open: wait until it opens.
    // Done to go on; CardsChanged or Terminated end the run.
    std::function<PipelineOutcome()> pausePoint;
    // An exchange ended, answered or not.
    std::function<void()> progress;
    // A card answered Connect (it is marked online already).
    std::function<void(int index)> connected;
    // Every attempt of a step went unanswered; for a Write or Swap the card is
    // marked offline already, a card that did not answer Connect stays offline.
    std::function<void(const PipelineCard& card, const CardStep& step)> failed;
};

// One stage of a frame on one screen: the cards of the screen served together.
// Every card has its own list of steps, sent one after the other, each step
// when the card's answer to the previous one has come; the cards do not wait
// for each other. So slice k goes to every card at once, and a card that loses
// answers costs its own retries only.
//
// Each step has its own budget (Connect: `connect`, Write and Swap:
// `exchange`): attempts of the identical datagram, each waiting its time. A
// Write or Swap carries a sequence byte and is told apart by it (the screen's
// reply table); a Connect carries none, so one card at a time connects (the
// screen's exchange), in list order, while the others go on writing. A card
// whose CardOnline flag went off (the disconnect sequence) gets no further
// Write or Swap.
class CardPipeline {
public:
    CardPipeline(ScreenLink& link, CommandBuffer& commands, CardOnline& online,
                 const WaitBudget& connect, const WaitBudget& exchange);

    struct Result {
        PipelineOutcome outcome = PipelineOutcome::Done;
        int completed = 0; // cards whose every step was answered
    };
    Result Run(const std::vector<PipelineCard>& cards, const PipelinePayload& payload,
               const PipelineHooks& hooks);

private:
    ScreenLink& m_link;
    CommandBuffer& m_commands;
    CardOnline& m_online;
    const WaitBudget m_connect;
    const WaitBudget m_exchange;
};
