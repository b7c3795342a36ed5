#include "xmodem_receiver.h"

void attach_receiver(std::shared_ptr<xmodem_receiver> r)
{
    struct state {
        std::size_t seen = 0;
        std::size_t handshake_reads = 0;
        std::deque<int> pending;
        int last_block_number = -1;
        int attempt = 0;
    };
    auto s = std::make_shared<state>();
    scripted_serial_reset([r, s](unsigned) {
        const std::vector<unsigned char> &out = serial_log.written;
        if (out.size() > s->seen) {
            std::vector<unsigned char> fresh(out.begin() + (long)s->seen, out.end());
            s->seen = out.size();
            std::vector<int> answer;
            if (fresh.size() >= 132 && fresh[0] == SOH) {
                if (fresh[1] == s->last_block_number)
                    s->attempt++;
                else
                    s->attempt = 0;
                s->last_block_number = fresh[1];
                r->blocks.push_back(fresh);
                answer = r->on_block((int)r->blocks.size() - 1, s->attempt);
            } else if (fresh.size() == 1 && fresh[0] == EOT) {
                answer = r->on_eot(r->eots++);
            } else {
                r->controls.insert(r->controls.end(), fresh.begin(), fresh.end());
            }
            s->pending.assign(answer.begin(), answer.end());
        } else if (s->pending.empty() && r->blocks.empty() && s->handshake_reads < r->handshake.size()) {
            return r->handshake[s->handshake_reads++];
        }
        if (s->pending.empty())
            return SILENCE;
        int byte = s->pending.front();
        s->pending.pop_front();
        return byte;
    });
}
