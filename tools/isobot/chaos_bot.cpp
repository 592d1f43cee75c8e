// chaos_bot.cpp -- the chaos bots: each connection does one kind of harm, then the bot connects again.
#include "tools/isobot/chaos_bot.h"

#include <array>
#include <functional>
#include <random>
#include <string>

#include "platform/encoding.h"
#include "tools/isobot/bot.h"
#include "tools/isobot/link.h"
#include "wire/wire.h"

// A client gone wrong: each of its connections does one kind of harm, then it connects again.
class Chaos_Bot : public std::enable_shared_from_this<Chaos_Bot> {
public:
    enum Kind { Malformed, Half_Open, Oversized, Random_Bytes, Cut_Off, Slow_Reader, Flood, KINDS };

    Chaos_Bot(asio::io_context& io, int number, const Options& options, const asio::ip::tcp::endpoint& server,
              Totals& totals)
        : io_(io), timer_(io), number_(number), options_(options), server_(server), totals_(totals),
          random_(uint32_t(number) * 40503u + 7) {}

    void Start() {
        if (stopped_) return;
        kind_ = Kind((number_ + rounds_++) % KINDS);
        steps_ = 0;
        if (link_) link_->Close();
        // A fresh connection each time; the last one lives on in its handlers until they end.
        link_ = std::make_shared<Bot_Link>(io_, *options_.tls, options_.plain);
        auto self = shared_from_this();
        link_->Connect(server_, [self, link = link_](const asio::error_code& error) {
            if (self->stopped_ || link != self->link_) return;
            ++self->totals_.chaos_connects;
            if (error) return self->Again(std::chrono::milliseconds(50));
            self->Read();
            self->Act();
        });
    }

    void Stop() {
        stopped_ = true;
        timer_.cancel();
        if (link_) link_->Close();
    }

private:
    // Connects again after a pause (at once when 0).
    void Again(std::chrono::milliseconds pause) {
        if (stopped_) return;
        if (link_) link_->Close();
        auto self = shared_from_this();
        timer_.expires_after(pause);
        timer_.async_wait([self](const asio::error_code& e) {
            if (!e) self->Start();
        });
    }

    std::string Login() {
        const std::string name = To_Cp950(Escape_Text(From_Utf8("chaos" + std::to_string(number_))));
        return Frame_Bytes(CMD_VER, To_Cp950(Escape_Text(GAME_VERSION))) + Frame_Bytes(CMD_ID, name) +
               Frame_Bytes(CMD_PASS, To_Cp950(Escape_Text(From_Utf8(options_.password)))) + Frame_Bytes(CMD_READY, "");
    }

    std::string Random_Text(size_t n) {
        static const char pieces[] = "/e\\#$ 0123456789-abz\r\n\x01\xA4\x40\xFF";
        std::uniform_int_distribution<size_t> pick(0, sizeof pieces - 2);
        std::string out;
        for (size_t i = 0; i < n; ++i) out += pieces[pick(random_)];
        return out;
    }

    void Send(std::string bytes, const std::function<void()>& then) {
        totals_.chaos_bytes += bytes.size();
        auto self = shared_from_this();
        auto data = std::make_shared<std::string>(std::move(bytes));
        link_->Write(asio::buffer(*data), [self, data, then, link = link_](const asio::error_code& error, size_t) {
            if (self->stopped_ || link != self->link_) return;
            if (error) return self->Again(std::chrono::milliseconds(0));
            then();
        });
    }

    void Later(int ms, const std::function<void()>& then) {
        auto self = shared_from_this();
        timer_.expires_after(std::chrono::milliseconds(ms));
        timer_.async_wait([self, then](const asio::error_code& e) {
            if (!e && !self->stopped_) then();
        });
    }

    void Act() {
        auto self = shared_from_this();
        std::uniform_int_distribution<int> coin(0, 9);
        switch (kind_) {
            case Malformed: {
                // Known commands with broken fields, out of turn, without a space, in odd case.
                static const std::string junk[] = {Frame_Bytes(CMD_MOVE, "1\\2"),
                                                   Frame_Bytes(CMD_MOVE, "x\\y\\z\\w"),
                                                   Frame_Bytes(CMD_MOVE, "99999\\0\\0\\0"),
                                                   Frame_Bytes(CMD_GOT, ""),
                                                   Frame_Bytes(u"/READY", ""),
                                                   Frame_Bytes(CMD_PASS, ""),
                                                   Frame_Bytes(CMD_ID, ""),
                                                   Frame_Bytes(CMD_ID, "ab/#e"),
                                                   Frame_Bytes(CMD_ID, "/#e"),
                                                   Frame_Bytes(CMD_VER, "9.9"),
                                                   To_Cp950(CMD_SAY) + std::string(WIRE_TERMINATOR),   // no space
                                                   Frame_Bytes(CMD_SETPL, "1\\x"),
                                                   std::string(WIRE_TERMINATOR) + std::string(WIRE_TERMINATOR),
                                                   Frame_Bytes(CMD_VER, "0.1 beta") + Frame_Bytes(CMD_ID, "a/$b"),
                                                   Frame_Bytes(CMD_MOVE, "-1\\-1\\-1\\-1")};
                std::string burst = coin(random_) < 5 ? Login() : "";
                for (int i = 0; i < 8; ++i) burst += junk[size_t(coin(random_) + i) % (sizeof junk / sizeof junk[0])];
                return Send(burst, [self] { self->Later(200, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            }
            case Half_Open:
                // Half a message, held open until the server gives up or the round ends.
                return Send(Frame_Bytes(CMD_VER, "0.1 beta").substr(0, 11),
                            [self] { self->Later(3000, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            case Oversized: {
                // A message over the limit whose terminator is split across two writes, then a whole one.
                std::string big = SAY_PREFIX + std::string(9000, 'x') + "/e";
                return Send(big, [self] {
                    self->Later(20, [self] {
                        self->Send(Frame_Bytes(CMD_VER, "0.1 beta").insert(0, 1, '/'),
                                   [self] { self->Later(300, [self] { self->Again(std::chrono::milliseconds(0)); }); });
                    });
                });
            }
            case Random_Bytes:
                if (++steps_ > 20) return Again(std::chrono::milliseconds(0));
                return Send(Random_Text(200), [self] { self->Later(50, [self] { self->Act(); }); });
            case Cut_Off:
                // Logs in, starts a message and disconnects in its middle; connects again at once.
                return Send(Login() + MOVE_PREFIX + "1\\1\\", [self] { self->Again(std::chrono::milliseconds(0)); });
            case Slow_Reader:
                // Logs in properly and then reads a little now and then (see Read).
                slow_ = true;
                return Send(Login(),
                            [self] { self->Later(5000, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            case Flood: {
                std::string burst = Login();
                for (int i = 0; i < 200; ++i) burst += Frame_Bytes(CMD_SAY, "flood");
                if (++steps_ > 10) return Again(std::chrono::milliseconds(0));
                return Send(burst, [self] { self->Later(10, [self] { self->Act(); }); });
            }
            case KINDS: break;
        }
    }

    void Read() {
        auto self = shared_from_this();
        const size_t want = slow_ ? 256 : buffer_.size();
        link_->Read_Some(asio::buffer(buffer_.data(), want),
                         [self, link = link_](const asio::error_code& error, size_t) {
                             if (self->stopped_ || link != self->link_) return;
                             if (error) {
                                 ++self->totals_.chaos_closed;
                                 return;   // the action under way connects again
                             }
                             if (self->slow_) {
                                 auto timer = std::make_shared<asio::steady_timer>(self->io_);
                                 timer->expires_after(std::chrono::milliseconds(100));
                                 timer->async_wait([self, timer, link](const asio::error_code& e) {
                                     if (!e && !self->stopped_ && link == self->link_) self->Read();
                                 });
                                 return;
                             }
                             self->Read();
                         });
    }

    asio::io_context& io_;
    std::shared_ptr<Bot_Link> link_;
    asio::steady_timer timer_;
    int number_;
    const Options& options_;
    asio::ip::tcp::endpoint server_;
    Totals& totals_;
    std::mt19937 random_;
    std::array<char, 16384> buffer_{};
    Kind kind_ = Malformed;
    int rounds_ = 0, steps_ = 0;
    bool slow_ = false, stopped_ = false;
};

std::shared_ptr<Chaos_Bot> Start_Chaos_Bot(asio::io_context& io, int number, const Options& options,
                                           const asio::ip::tcp::endpoint& server, Totals& totals) {
    auto bot = std::make_shared<Chaos_Bot>(io, number, options, server, totals);
    bot->Start();
    return bot;
}

void Stop_Chaos_Bot(Chaos_Bot& bot) { bot.Stop(); }
