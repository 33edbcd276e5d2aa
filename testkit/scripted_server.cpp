#include "testkit/scripted_server.hpp"

#include <stdexcept>
#include "platform/overloaded.hpp"

namespace testkit {

Script& Script::read(std::size_t count) {
  steps_.emplace_back(std::in_place_type<Read>, Read{count});
  return *this;
}

Script& Script::read_until(std::string end) {
  steps_.emplace_back(std::in_place_type<ReadUntil>, ReadUntil{std::move(end)});
  return *this;
}

Script& Script::send(std::string bytes) {
  steps_.emplace_back(std::in_place_type<Send>, Send{std::move(bytes)});
  return *this;
}

Script& Script::send(std::initializer_list<std::uint8_t> bytes) {
  return send(std::string(bytes.begin(), bytes.end()));
}

Script& Script::pause(std::chrono::milliseconds time) {
  steps_.emplace_back(std::in_place_type<Pause>, Pause{time});
  return *this;
}

Script& Script::drain_until_closed() {
  steps_.emplace_back(std::in_place_type<DrainUntilClosed>);
  return *this;
}


namespace {

constexpr auto kAcceptLimit = std::chrono::seconds(20);
constexpr auto kReadLimit = std::chrono::seconds(5);

}  // namespace

ScriptedServer::ScriptedServer(Script script, const platform::SocketAddress& where) {
  auto listener = platform::Listener::bind(where, 8);
  if (!listener) throw std::runtime_error("scripted server cannot listen: " + listener.error().text());
  listener_ = std::move(*listener);
  auto address = listener_.local_address();
  if (!address) throw std::runtime_error("scripted server has no address: " + address.error().text());
  address_ = *address;
  thread_ = std::thread([this, script = std::move(script)]() mutable { run(std::move(script)); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  wait();
}

void ScriptedServer::wait() {
  if (thread_.joinable()) thread_.join();
}

std::string ScriptedServer::received() {
  wait();
  return received_;
}

std::string ScriptedServer::failure() {
  wait();
  return failure_;
}

bool ScriptedServer::client_closed() {
  wait();
  return client_closed_;
}

void ScriptedServer::run(Script script) {
  auto fail = [this](std::string why) {
    std::lock_guard lock(mutex_);
    failure_ = std::move(why);
  };

  platform::Socket socket;
  const auto give_up = std::chrono::steady_clock::now() + kAcceptLimit;
  while (!socket.is_open()) {
    if (stop_ || std::chrono::steady_clock::now() > give_up) return fail("nobody connected");
    auto accepted = listener_.accept(std::chrono::milliseconds(100));
    if (accepted) {
      socket = std::move(*accepted);
    } else if (accepted.error().kind() != platform::ErrorKind::TimedOut) {
      return fail("accept failed: " + accepted.error().text());
    }
  }
  listener_.close();
  (void)socket.set_receive_timeout(kReadLimit);
  (void)socket.set_send_timeout(kReadLimit);

  // One receive; false when the stream ended or failed.
  auto receive_some = [&](std::size_t at_most) -> bool {
    std::uint8_t buffer[4096];
    auto got = socket.receive(std::span(buffer, std::min(at_most, sizeof buffer)));
    if (!got) {
      fail("receive failed: " + got.error().text());
      return false;
    }
    if (*got == 0) {
      client_closed_ = true;
      return false;
    }
    received_.append(reinterpret_cast<const char*>(buffer), *got);
    return true;
  };

  for (const auto& step : script.steps()) {
    const bool go_on = std::visit(platform::Overloaded{
                                      [&](const Script::Read& read) {
                                        const std::size_t goal = received_.size() + read.count;
                                        while (received_.size() < goal) {
                                          if (!receive_some(goal - received_.size())) return false;
                                        }
                                        return true;
                                      },
                                      [&](const Script::ReadUntil& until) {
                                        // One byte at a time, so that nothing past the end is taken.
                                        while (!received_.ends_with(until.end)) {
                                          if (!receive_some(1)) return false;
                                        }
                                        return true;
                                      },
                                      [&](const Script::Send& send) {
                                        platform::ByteView rest = platform::byte_view(send.bytes);
                                        while (!rest.empty()) {
                                          auto sent = socket.send(rest);
                                          if (!sent || *sent == 0) {
                                            fail("send failed");
                                            return false;
                                          }
                                          rest = rest.subspan(*sent);
                                        }
                                        return true;
                                      },
                                      [&](const Script::Pause& pause) {
                                        // Cut short when the server goes away.
                                        const auto until = std::chrono::steady_clock::now() + pause.time;
                                        while (!stop_ && std::chrono::steady_clock::now() < until) {
                                          std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                        }
                                        return !stop_;
                                      },
                                      [&](const Script::DrainUntilClosed&) {
                                        while (receive_some(4096)) {
                                        }
                                        return client_closed_;
                                      },
                                  },
                                  step);
    if (!go_on) {
      if (client_closed_ && failure_.empty() && !std::holds_alternative<Script::DrainUntilClosed>(step)) {
        fail("the client closed the connection");
      }
      return;
    }
  }
}

}  // namespace testkit
