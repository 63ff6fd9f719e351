/*
 * usage.cpp - usage mistakes in the desk's sentences, `lendrec help`, and
 * the check of DATE options.
 *
 * CLI11 says what went wrong by the kind of its exception; the few details
 * a sentence needs (the option, the value refused) are taken from the
 * command reached and, where CLI11 keeps them nowhere else, from its
 * message's fixed shape ("--sort: x not in {id,title,author}").
 */
#include "usage.hpp"

#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "dates.hpp"

namespace desk {

namespace {

const std::string::size_type npos = std::string::npos;

auto every_command = [](const CLI::App*) { return true; };

/* The deepest command the last parse of `app` chose. */
const CLI::App* reached(const CLI::App& app)
{
    const CLI::App* level = &app;
    for (auto chosen = level->get_subcommands(); !chosen.empty(); chosen = level->get_subcommands())
        level = chosen.front();
    return level;
}

/* The words naming `command` after "lendrec" ("book add"); "" for the
 * desk itself. */
std::string path_of(const CLI::App* command)
{
    std::string path;
    for (; command != nullptr && command->get_parent() != nullptr; command = command->get_parent())
        path = path.empty() ? command->get_name() : command->get_name() + " " + path;
    return path;
}

std::string see_help_of(const CLI::App* command)
{
    std::string path = path_of(command);
    return fmt::format("see `lendrec {}{}--help`", path, path.empty() ? "" : " ");
}

/* "a", "a or b", "a, b or c". */
std::string spoken_list(const std::vector<std::string>& words)
{
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return out;
}

std::vector<std::string> command_names(const CLI::App& command)
{
    std::vector<std::string> names;
    for (const CLI::App* sub : command.get_subcommands(every_command))
        names.push_back(sub->get_name());
    return names;
}

/* The option called `name` in `command` or a command above it. */
const CLI::Option* option_named(const CLI::App* command, const std::string& name)
{
    for (; command != nullptr; command = command->get_parent())
        if (const CLI::Option* option = command->get_option_no_throw(name))
            return option;
    return nullptr;
}

/* What a command reached without all it needs lacks. */
std::string missing(const CLI::App& command)
{
    if (command.get_require_subcommand_min() > 0 && command.get_subcommands().empty()) {
        if (command.get_parent() == nullptr)
            return "no command given";
        return "no command given; it takes " + spoken_list(command_names(command));
    }
    for (const CLI::Option* option : command.get_options())
        if (option->get_required() && option->count() == 0)
            return option->get_name() + " is missing";
    return "a value is missing";
}

/* Words of the line that no command or option took. */
std::string extras(const CLI::App& app)
{
    std::vector<std::string> left = app.remaining(true);
    for (const std::string& word : left)
        if (word.size() > 1 && word[0] == '-')
            return fmt::format("unknown option '{}'", word.substr(0, word.find('=')));
    std::string quoted;
    for (const std::string& word : left)
        quoted += (quoted.empty() ? "'" : ", '") + word + "'";
    return fmt::format("too many values ({})", quoted);
}

/* "--sort takes id, title or author, not 'x'" from CLI11's
 * "--sort: x not in {id,title,author}". */
std::string refused_value(const std::string& message)
{
    std::size_t colon = message.find(": ");
    std::string name = message.substr(0, colon);
    std::string rest = colon == npos ? "" : message.substr(colon + 2);
    std::size_t in = rest.find(" not in {");
    if (in == npos || rest.back() != '}')
        return name + " does not take that value";
    std::vector<std::string> members;
    std::string set = rest.substr(in + 9, rest.size() - in - 10);
    for (std::size_t at = 0; at <= set.size();) {
        std::size_t comma = std::min(set.find(',', at), set.size());
        members.push_back(set.substr(at, comma - at));
        at = comma + 1;
    }
    return fmt::format("{} takes {}, not '{}'", name, spoken_list(members), rest.substr(0, in));
}

/* An option given a wrong number of values; CLI11's message starts with
 * its name ("--date: 1 required DATE missing", "--date: At Most 1 ...")
 * or names it after "arguments to ". */
std::string mismatch(const CLI::App& command, const std::string& message)
{
    std::size_t to = message.find(" arguments to ");
    std::string name = to != npos ? message.substr(to + 14, message.find(", got") - to - 14)
                                  : message.substr(0, message.find_first_of(": "));
    if (message.find("At Most") != npos || message.find("Expected exactly") != npos)
        return name + " may be given only once";
    if (message.find("flag override") != npos)
        return name + " takes no value";
    const CLI::Option* option = option_named(&command, name);
    std::string type = option != nullptr ? option->get_type_name() : "";
    return type.empty() ? name + " needs a value"
                        : fmt::format("{} needs a value ({})", name, type);
}

/* A flag given a value ("--json=x": CLI11's "Could not convert: --json =
 * x"), or a flag CLI11 refused a value by name. */
std::string unconverted(const std::string& message)
{
    const std::string head = "Could not convert: ";
    std::size_t equals = message.find(" = ");
    if (message.rfind(head, 0) == 0 && equals != npos)
        return fmt::format("{} cannot take '{}'", message.substr(head.size(), equals - head.size()),
                           message.substr(equals + 3));
    std::size_t colon = message.find(": ");
    if (colon != npos && (message.find("for a flag") != npos || message.find("true/false") != npos))
        return message.substr(0, colon) + " takes no value";
    return "a value cannot be read";
}

/* "--book cannot go with LOAN" from "--book excludes LOAN", "--book needs
 * --user too" from "--book requires --user". */
std::string between(const std::string& message, const std::string& verb, const char* shape)
{
    std::size_t at = message.find(verb);
    if (at == npos)
        return "these options do not go together";
    return fmt::format(fmt::runtime(shape), message.substr(0, at),
                       message.substr(at + verb.size()));
}

/* The mistake, told by the kind of CLI11's exception; an unknown option
 * first, whatever CLI11 stopped at, as it is what the clerk mistyped. */
std::string mistake(const CLI::App& app, const CLI::App& command, const CLI::ParseError& error)
{
    std::string message = error.what();
    for (const std::string& word : app.remaining(true))
        if (word.size() > 1 && word[0] == '-')
            return extras(app);
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr)
        return missing(command);
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr)
        return extras(app);
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr)
        return refused_value(message);
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
        return mismatch(command, message);
    if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr)
        return unconverted(message);
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr)
        return between(message, " excludes ", "{} cannot go with {}");
    if (dynamic_cast<const CLI::RequiresError*>(&error) != nullptr)
        return between(message, " requires ", "{} needs {} too");
    return "the command line cannot be read";
}

/* Prints the help of the command `words` name, as its --help would. */
void print_help(const CLI::App& app, const std::vector<std::string>& words)
{
    const CLI::App* command = &app;
    std::string path = app.get_name();
    for (const std::string& word : words) {
        auto subs = command->get_subcommands(every_command);
        auto named = std::find_if(subs.begin(), subs.end(),
                                  [&](const CLI::App* sub) { return sub->get_name() == word; });
        if (named == subs.end())
            throw Failure(
                kUsage,
                fmt::format("help: unknown command '{}'\nlendrec: see `{} --help`", word, path));
        command = *named;
        path += " " + word;
    }
    std::string text =
        command->get_formatter()->make_help(command, path, CLI::AppFormatMode::Normal);
    std::fputs(text.c_str(), stdout);
}

} // namespace

void add_help_command(CLI::App& app, Desk& desk)
{
    auto words = std::make_shared<std::vector<std::string>>();
    CLI::App* help = app.add_subcommand("help", "Print the help of the desk or of one command");
    help->add_option("COMMAND", *words,
                     "The command and its subcommand, as in `lendrec help book add`")
        ->type_name("WORDS");
    const CLI::App* top = &app;
    help->callback(
        [&desk, top, words] { desk.action = [top, words] { print_help(*top, *words); }; });
}

void check_dates(CLI::App& app)
{
    for (CLI::Option* option : app.get_options()) {
        if (option->get_type_name() != "DATE")
            continue;
        std::string name = option->get_name();
        option->check(CLI::Validator(
            [name](std::string& text) {
                date_option(text, name.c_str());
                return std::string();
            },
            "", "date"));
    }
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
        check_dates(*command);
}

std::string unknown_command(const CLI::App& app, const std::vector<std::string>& args)
{
    const CLI::App* level = &app;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!args[i].empty() && args[i][0] == '-') {
            /* An option's value ("--clerk ann") is not a command. */
            const CLI::Option* option = option_named(level, args[i]);
            if (option != nullptr && option->get_type_size() != 0 &&
                args[i].find('=') == std::string::npos)
                ++i;
            continue;
        }
        if (args[i].empty())
            continue;
        auto commands = level->get_subcommands(every_command);
        if (commands.empty())
            return "";
        auto named = std::find_if(commands.begin(), commands.end(),
                                  [&](const CLI::App* c) { return c->get_name() == args[i]; });
        if (named == commands.end()) {
            std::string path = path_of(level);
            return fmt::format("{}{}unknown command '{}'\nlendrec: {}", path,
                               path.empty() ? "" : ": ", args[i], see_help_of(level));
        }
        level = *named;
    }
    return "";
}

std::string usage_sentence(const CLI::App& app, const CLI::ParseError& error)
{
    const CLI::App* command = reached(app);
    std::string path = path_of(command);
    return fmt::format("{}{}{}\nlendrec: {}", path, path.empty() ? "" : ": ",
                       mistake(app, *command, error), see_help_of(command));
}

std::string see_help(const CLI::App& app)
{
    return see_help_of(reached(app));
}

} // namespace desk
