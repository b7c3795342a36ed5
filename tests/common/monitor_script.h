// A monitor played from a table, by the host tests on the scripted link and
// by the scripted board on a pseudo-terminal: it prompts first and again
// after every answer, and answers each command byte from the table (trace
// text, ":", result; ":0" for a byte the table lacks). After `limit`
// commands it answers no more, as a board switched off would.
#pragma once

#include <map>
#include <string>

struct monitor_script {
  std::map<char, std::string> answers;
  std::string before_prompt;  // noise the host must throw away
  int limit = -1;             // commands answered; -1: no end
  std::string commands;       // the command bytes answered, filled as it goes
};

inline std::string monitor_greeting(const monitor_script &m) { return m.before_prompt + "?"; }

// The reply to one command byte, or false once the monitor is silent.
inline bool monitor_reply(monitor_script *m, char command, std::string *reply) {
  if (m->limit >= 0 && (int)m->commands.size() >= m->limit) return false;
  m->commands += command;
  auto it = m->answers.find(command);
  *reply = (it == m->answers.end() ? std::string(":0") : it->second) + "?";
  return true;
}
