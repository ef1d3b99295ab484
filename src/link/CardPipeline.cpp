#include "CardPipeline.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// One card's way through its steps.
struct CardRun {
    enum class State { Ready, Waiting, Done };
    const PipelineCard* card = nullptr;
    std::size_t next = 0; // the step being sent or to send
    State state = State::Ready;
    Command command;                     // the step in flight, resent as it is
    bool exchange = false;               // it holds the screen's exchange (no sequence byte)
    std::optional<std::uint8_t> claimed; // its entry in the reply table
    int attempts = 0;
    Clock::time_point deadline{};
};

class Round {
public:
    Round(ScreenLink& link, CommandBuffer& commands, CardOnline& online, const WaitBudget& connect,
          const WaitBudget& exchange, const PipelinePayload& payload, const PipelineHooks& hooks)
        : m_link(link), m_commands(commands), m_online(online), m_connect(connect),
          m_exchange(exchange), m_payload(payload), m_hooks(hooks) {
        m_owner.fill(-1);
    }

    CardPipeline::Result Run(const std::vector<PipelineCard>& cards) {
        m_runs.resize(cards.size());
        for (std::size_t i = 0; i < cards.size(); ++i) {
            m_runs[i].card = &cards[i];
            if (cards[i].steps.empty()) {
                m_runs[i].state = CardRun::State::Done;
                ++m_completed;
            }
        }
        std::vector<std::uint8_t> answered;
        std::vector<std::size_t> expired;
        for (;;) {
            const PipelineGate gate = m_hooks.gate();
            if (gate == PipelineGate::Terminate) {
                Abandon();
                return {PipelineOutcome::Terminated, m_completed};
            }
            if (gate == PipelineGate::Open) {
                for (std::size_t i = 0; i < m_runs.size(); ++i) {
                    if (m_runs[i].state == CardRun::State::Ready) {
                        Issue(i);
                    }
                }
            }
            std::optional<Clock::time_point> until;
            bool ready = false;
            for (const CardRun& run : m_runs) {
                if (run.state == CardRun::State::Waiting) {
                    until = until ? std::min(*until, run.deadline) : run.deadline;
                }
                ready = ready || run.state == CardRun::State::Ready;
            }
            if (!until) {
                if (!ready) {
                    return {PipelineOutcome::Done, m_completed};
                }
                // Cards with steps to go and nothing outstanding: held.
                const PipelineOutcome paused = m_hooks.pausePoint();
                if (paused != PipelineOutcome::Done) {
                    return {paused, m_completed};
                }
                continue;
            }

            answered.clear();
            const bool exchangeAnswered =
                m_link.WaitReplies(*until, m_exchangeOwner >= 0, answered);
            for (const std::uint8_t seq : answered) {
                const int owner = m_owner[seq];
                if (owner >= 0) {
                    Complete(static_cast<std::size_t>(owner), true);
                }
            }
            if (exchangeAnswered && m_exchangeOwner >= 0) {
                Complete(static_cast<std::size_t>(m_exchangeOwner), true);
            }
            // Time-outs in the order they fell due, so a card that waited
            // longer is resent (or given up) first.
            const Clock::time_point now = Clock::now();
            expired.clear();
            for (std::size_t i = 0; i < m_runs.size(); ++i) {
                if (m_runs[i].state == CardRun::State::Waiting && m_runs[i].deadline <= now) {
                    expired.push_back(i);
                }
            }
            std::sort(expired.begin(), expired.end(), [this](std::size_t a, std::size_t b) {
                return m_runs[a].deadline < m_runs[b].deadline;
            });
            for (const std::size_t i : expired) {
                TimedOut(i);
            }
        }
    }

private:
    const CardStep& StepOf(const CardRun& run) const { return run.card->steps[run.next]; }
    const WaitBudget& BudgetOf(const CardRun& run) const {
        return StepOf(run).kind == CardStep::Kind::Connect ? m_connect : m_exchange;
    }

    void Issue(std::size_t i) {
        CardRun& run = m_runs[i];
        const CardStep& step = StepOf(run);
        const ScreenId screen = m_link.screen();
        if (step.kind != CardStep::Kind::Connect && !m_online.get(screen, run.card->index)) {
            // Said goodbye while we were held: nothing more for this card.
            run.state = CardRun::State::Done;
            return;
        }
        int bindings = 0;
        if (step.kind == CardStep::Kind::Connect) {
            if (m_exchangeOwner >= 0) {
                return; // another card is connecting; this one waits its turn
            }
            run.command = m_commands.Connect(run.card->mac);
            run.exchange = true;
            m_exchangeOwner = static_cast<int>(i);
            bindings = m_link.OpenExchange(run.command);
        } else {
            const int awaited = step.kind == CardStep::Kind::Write ? kAwaitWritten : kAwaitSwapped;
            std::optional<std::uint8_t> claimed;
            const CommandBuffer::SeqClaim screenClaim = m_link.SeqClaimFor(awaited);
            const CommandBuffer::SeqClaim claim = [&](std::uint8_t seq) {
                if (!screenClaim(seq)) {
                    return false;
                }
                claimed = seq;
                return true;
            };
            if (step.kind == CardStep::Kind::Write) {
                const std::span<const std::uint8_t> plane =
                    m_payload.planes[static_cast<std::size_t>(step.plane == 2 ? 1 : 0)];
                run.command =
                    m_commands.WriteData(run.card->mac, step.slice.unit,
                                         plane.subspan(static_cast<std::size_t>(step.slice.offset),
                                                       static_cast<std::size_t>(step.slice.length)),
                                         claim);
            } else {
                run.command =
                    m_commands.SwapBuffer(run.card->mac, m_payload.effect, m_payload.speed,
                                          m_payload.stay, m_payload.extent, claim);
            }
            // A byte no claim took (every byte of the screen outstanding or
            // quiet, which its card count does not allow) goes out anyway; no
            // answer can match it, so its attempts run out.
            run.claimed = claimed;
            run.exchange = false;
            if (claimed) {
                m_owner[*claimed] = static_cast<int>(i);
            }
            bindings = m_link.Post(run.command);
        }
        run.state = CardRun::State::Waiting;
        run.attempts = 1;
        run.deadline = Clock::now() + BudgetOf(run).PerAttempt();
        if (bindings == 0) {
            // Inactive listener: nothing left, nothing to hear.
            Complete(i, false);
        }
    }

    void TimedOut(std::size_t i) {
        CardRun& run = m_runs[i];
        if (run.attempts >= std::max(BudgetOf(run).attempts, 1)) {
            Complete(i, false);
            return;
        }
        ++run.attempts;
        run.deadline = Clock::now() + BudgetOf(run).PerAttempt();
        const int bindings =
            run.exchange ? m_link.OpenExchange(run.command) : m_link.Post(run.command);
        if (bindings == 0) {
            Complete(i, false);
        }
    }

    // Ends the step in flight; its entry goes, quiet when late answers may follow.
    void EndExchange(CardRun& run, bool answered) {
        if (run.exchange) {
            m_link.CloseExchange();
            m_exchangeOwner = -1;
        } else if (run.claimed) {
            m_link.Retire(*run.claimed, run.attempts > 1 || !answered);
            m_owner[*run.claimed] = -1;
        }
        run.claimed.reset();
        run.exchange = false;
    }

    void Complete(std::size_t i, bool answered) {
        CardRun& run = m_runs[i];
        if (run.state != CardRun::State::Waiting) {
            return;
        }
        EndExchange(run, answered);
        m_hooks.progress();
        const CardStep& step = StepOf(run);
        const int index = run.card->index;
        if (!answered) {
            run.state = CardRun::State::Done;
            m_hooks.failed(*run.card, step);
            if (step.kind != CardStep::Kind::Connect) {
                m_online.set(m_link.screen(), index, false);
            }
            return;
        }
        if (step.kind == CardStep::Kind::Connect) {
            m_online.set(m_link.screen(), index, true);
            m_hooks.connected(index);
        }
        ++run.next;
        if (run.next == run.card->steps.size()) {
            run.state = CardRun::State::Done;
            ++m_completed;
        } else {
            run.state = CardRun::State::Ready;
        }
    }

    void Abandon() {
        for (CardRun& run : m_runs) {
            if (run.state == CardRun::State::Waiting) {
                EndExchange(run, false);
                run.state = CardRun::State::Done;
            }
        }
    }

    ScreenLink& m_link;
    CommandBuffer& m_commands;
    CardOnline& m_online;
    const WaitBudget& m_connect;
    const WaitBudget& m_exchange;
    const PipelinePayload& m_payload;
    const PipelineHooks& m_hooks;
    std::vector<CardRun> m_runs;
    std::array<int, 256> m_owner{}; // run waiting for each sequence byte, or -1
    int m_exchangeOwner = -1;       // run holding the screen's exchange, or -1
    int m_completed = 0;
};

} // namespace

CardPipeline::CardPipeline(ScreenLink& link, CommandBuffer& commands, CardOnline& online,
                           const WaitBudget& connect, const WaitBudget& exchange)
    : m_link(link), m_commands(commands), m_online(online), m_connect(connect),
      m_exchange(exchange) {}

CardPipeline::Result CardPipeline::Run(const std::vector<PipelineCard>& cards,
                                       const PipelinePayload& payload, const PipelineHooks& hooks) {
    Round round(m_link, m_commands, m_online, m_connect, m_exchange, payload, hooks);
    return round.Run(cards);
}
