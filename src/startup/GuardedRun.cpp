#include "startup/GuardedRun.h"

#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "platform/Prompts.h"
#include "platform/Terminator.h"

namespace qz {
namespace {

// std::terminate takes a plain function: it finds the run through these.
GuardedRun* active = nullptr;
std::thread::id runningThread;

}  // namespace

GuardedRun::GuardedRun(Prompts& prompts, Terminator& terminator, bool verbose)
    : prompts_(prompts), terminator_(terminator), verbose_(verbose) {
  active = this;
  runningThread = std::this_thread::get_id();
  previous_ = std::set_terminate(&GuardedRun::OnTerminate);
}

GuardedRun::~GuardedRun() {
  std::set_terminate(previous_);
  active = nullptr;
}

void GuardedRun::Run(const std::function<void()>& body) {
  std::exception_ptr error;
  try {
    body();
  } catch (...) {
    error = std::current_exception();
  }
  if (error) Fail(error);
  terminator_.EndProgram();
  // A terminator must not return; if one ever does, nothing after the run may happen.
  std::abort();
}

Error GuardedRun::Describe(std::exception_ptr error) {
  if (!error) return Error::Standard(Error::kInternalError);
  try {
    std::rethrow_exception(error);
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error::Standard(Error::kOutOfMemory);
  } catch (const std::exception& e) {
    return Error(Error::kInternalError, std::string("Internal error: ") + e.what());
  } catch (...) {
    return Error::Standard(Error::kInternalError);
  }
}

void GuardedRun::Fail(std::exception_ptr error) {
  if (verbose_) {
    try {
      Error shown = Describe(error);
      prompts_.MsgBox("The online updater has stopped because of an unexpected error.\r\n" +
                          std::to_string(shown.Number()) + "\r\n" + shown.Description(),
                      kOkOnly | kCritical, "Oops ...");
    } catch (...) {
      // Not even the message can be shown (memory, display): the end is all that is left.
    }
  }
  terminator_.EndProgram();
  std::abort();
}

void GuardedRun::OnTerminate() {
  // Windows belong to the thread that runs the program; from any other the end is quiet.
  if (active != nullptr && std::this_thread::get_id() == runningThread) {
    active->Fail(std::current_exception());
  }
  if (active != nullptr) active->terminator_.EndProgram();
  std::abort();
}

}  // namespace qz
