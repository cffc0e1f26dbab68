// SPDX-License-Identifier: MIT
#include "ctl_benches.h"

#include <chrono>
#include <exception>
#include <mutex>
#include <sstream>
#include <thread>

#include "ctl_session.h"

namespace krx::ctl {
namespace {

// Writes what `buffer` holds to `to`, each line after `prefix`, and empties it.
void passOn(std::ostringstream& buffer, const std::string& prefix, std::ostream& to) {
    std::istringstream text(buffer.str());
    buffer.str({});
    for (std::string line; std::getline(text, line);)
        to << prefix << line << '\n';
}

}  // namespace

std::vector<BenchOutcome> runBenches(const Options& options, const std::vector<ScriptLine>& lines,
                                     const std::string& scriptName,
                                     const PortsDirectories& portsDirs, std::ostream& out,
                                     std::ostream& err) {
    const std::vector<PortChoice> ports =
        options.ports.empty() ? std::vector<PortChoice>{options.port} : options.ports;
    const bool several = ports.size() > 1;
    std::vector<BenchOutcome> benches(ports.size());
    std::vector<std::exception_ptr> failures(ports.size());
    std::mutex printing;

    const auto runBench = [&](std::size_t index) {
        BenchOutcome& bench = benches[index];
        bench.port = ports[index].given() ? ports[index].name() : "search";
        const std::string prefix = several && !options.json ? bench.port + ": " : "";
        const std::string errPrefix = several ? bench.port + ": " : "";
        Options own = options;
        own.port = ports[index];
        std::ostringstream benchOut;
        std::ostringstream benchErr;
        GeneratorSession session(portsDirs, own, benchOut, benchErr);
        if (several && options.json)
            session.setJsonPort(bench.port);
        bool stopped = false;
        for (const ScriptLine& line : lines) {
            LineOutcome outcome;
            outcome.lineNumber = line.lineNumber;
            outcome.text = line.text;
            if (!stopped) {
                if (line.lineNumber > 0)
                    session.setErrorPrefix(scriptName + ":" + std::to_string(line.lineNumber) +
                                           ": ");
                const auto began = std::chrono::steady_clock::now();
                outcome.status = session.run(line.command);
                outcome.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
                outcome.ran = true;
                outcome.message = benchErr.str();
                stopped = outcome.status != ExitStatus::Done;
                const std::lock_guard guard(printing);
                passOn(benchOut, prefix, out);
                out.flush();
                passOn(benchErr, errPrefix, err);
            }
            bench.lines.push_back(std::move(outcome));
        }
    };
    const auto guarded = [&](std::size_t index) {
        try {
            runBench(index);
        } catch (...) {
            failures[index] = std::current_exception();
        }
    };

    if (several) {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < ports.size(); ++i)
            threads.emplace_back(guarded, i);
    } else {
        guarded(0);
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    return benches;
}

}  // namespace krx::ctl
