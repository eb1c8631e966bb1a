#include "app/cli/command_line.h"

#include <CLI/CLI.hpp>

#include "app/cli/console_options.h"

namespace tesvano {

namespace {

void AddClipOptions(CLI::App* command, ClipOptions* o) {
    command->add_option("--music", o->music);
    command->add_option("--mode", o->mode);
    command->add_option("--volume", o->volume);
    command->add_option("--rate", o->rate);
    command->add_option("--dir", o->dir);
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::FILE* err) {
    CLI::App app{"tesvano-cli"};
    app.set_help_flag();
    // An option given twice takes its last value, as a shell alias expects.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.require_subcommand(1);
    bool help = false;
    const auto command = [&](const char* name) {
        CLI::App* c = app.add_subcommand(name);
        c->set_help_flag();
        c->add_flag("-h,--help", help);
        return c;
    };

    CLI::App* say = command("say");
    SayArguments& s = line->say;
    say->add_option("TEXT", s.text);
    AddClipOptions(say, &s.clip);
    say->add_option("--voice", s.voice);
    say->add_option("--kind", s.kind);
    say->add_option("--name", s.name);
    say->add_option("--from", s.from);
    say->add_option("--jobs", s.jobs);
    say->add_flag("--open", s.open);
    say->add_flag("--fit", s.fit);
    say->add_flag("--play", s.play);

    ConvertArguments& c = line->convert;
    for (const char* name : {"convert", "to-wav"}) {
        CLI::App* convert = command(name);
        convert->add_option("FILE", c.files);
        convert->add_option("--dir", c.dir);
        convert->add_option("--rate", c.rate);
        convert->add_option("--jobs", c.jobs);
        convert->add_flag("--recursive", c.recursive);
        if (std::string(name) == "convert") {
            convert->add_option("--kind", c.kind);
            convert->add_flag("--open", c.open);
        }
    }

    CLI::App* record = command("record");
    AddClipOptions(record, &line->record.clip);
    record->add_option("--seconds", line->record.seconds);

    CLI::App* camera = command("camera");
    CameraArguments& k = line->camera;
    camera->add_option("URL", k.url);
    camera->add_option("--onvif", k.onvif);
    camera->add_option("--user", k.user);
    camera->add_option("--timeout", k.timeout);

    command("cameras")->add_option("--timeout", line->camerasTimeout);
    command("play")->add_option("FILE", line->playFiles);
    command("voices");
    command("music");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // The command's name leads CLI11's own texts ("say: The following
        // argument was not expected: --x"); ours say what each takes.
        Usage(err, e.what());
        return false;
    }
    line->command = app.get_subcommands().front()->get_name();
    if (help) line->command = "--help";
    return true;
}

}  // namespace tesvano
