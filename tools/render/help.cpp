#include "tools/render/help.hpp"

#include "tools/render/cli.hpp"

namespace render {

std::vector<HelpSection> help_sections(const std::string& lv2_path) {
  const std::string base = ZUL_RENDER_URI_BASE;
  return {
      {"",
       {"Runs one LV2 plugin offline, block by block, and writes what every port carried as WAV "
        "files and, if asked, as a plot.",
        "PLUGIN is a plugin URI, or a short name of ours: \"slew\" and \"zul-cv-slew\" both stand "
        "for " +
            base + "/zul-cv-slew. Plugins are looked up in LV2_PATH or, when it is unset, in " +
            lv2_path + " (run from its build tree, the build's staged bundles come first)."},
       {},
       {}},
      {"Options",
       {},
       {{"--rate HZ", "sample rate, a whole number of Hz from 1 to " + std::to_string(max_rate) +
                          " (default 48000)"},
        {"--block FRAMES", "frames per run() call, from 1 to " + std::to_string(max_block) +
                               " (default 128); the last block is shorter when the render is "
                               "not a whole number of blocks"},
        {"--duration SECONDS",
         "length of the render, above 0 and up to " +
             std::to_string(static_cast<int>(max_duration)) +
             ", rounded to whole frames (default 1). Memory does not grow with it: inputs and "
             "outputs go block by block."},
        {"--set SYMBOL=VALUE",
         "sets a control input from the start, once per control. Controls not set start at "
         "their lv2:default (else their minimum, else 0)."},
        {"--preset NAME",
         "starts the controls at the values of one of the plugin's presets, once per render. "
         "NAME is the preset's label as --ports lists it, the start of one label, or the "
         "preset's URI. --preset and --set apply in command-line order, the later winning: "
         "--set after --preset changes a value of the preset, --set before it is kept only for "
         "a control the preset does not set."},
        {"--at SECONDS SYMBOL=VALUE",
         "changes a control input during the render. The change is applied at the start of the "
         "first block that starts at or after SECONDS, never inside a block: with --block 128 "
         "at 48000 Hz, --at 0.5 takes effect at frame 24064. Changes that fall on one block "
         "apply in command-line order."},
        {"--input SYMBOL=SOURCE",
         "what an audio or CV input is fed, once per input (default: constant 0); see Input "
         "sources"},
        {"--out DIR",
         "writes DIR/SYMBOL.wav for every audio, CV and control port: mono, 32-bit float, at the "
         "render's rate; RF64 instead of WAV for a file that would pass 4 GiB. Audio and CV "
         "ports hold their samples; a control input holds the value each block saw, a control "
         "output the value each block left, repeated over the block's frames. DIR is created "
         "if missing."},
        {"--plot FILE.png",
         "draws the inputs, the controls and the outputs against time with gnuplot: a panel for "
         "the inputs, one for each control (a switch on a 0/1 scale) and one for the outputs, "
         "labelled with their units, legend by port symbol"},
        {"-q, --quiet", "says nothing but errors: no notes, no warnings, no line on success"},
        {"--ports", "lists the plugin's ports, then its presets, and exits"},
        {"--list",
         "lists the plugins on the LV2 path that zul-render can run, ours first, one a line: "
         "URI and name; and exits"},
        {"--version", "shows the version and exits"},
        {"-h, --help", "shows this and exits"}},
       {"At least one of --out and --plot is needed, each at most once. Options taking one value "
        "also take the form --option=VALUE. Spaces around SYMBOL, VALUE, SOURCE and a "
        "generator's parameters are ignored: --set \"rise_time = 5\" is --set rise_time=5. On "
        "success one line on stderr says what was written: "
        "the files, the frames, the seconds of audio and the time taken."}},
      {"Input sources",
       {},
       {{"NUMBER",
         "that value on every frame; outside the port's range it is fed with a "
         "warning, as CV may go beyond it"},
        {"GENERATOR[,PARAM=VALUE...]", "see Generators"},
        {"FILE",
         "a mono sound file (WAV) at the render's rate; integer samples read as -1..1; a "
         "shorter file is followed by zeros, a longer one is cut"}},
       {}},
      {"Generators",
       {"Each gives OFFSET + AMP * shape, where shape is computed from the frame's time t = "
        "frame / rate and phase = fraction of t * FREQ:"},
       {{"constant", "1"},
        {"step",
         "0 before at=SECONDS (default half the duration), 1 from the first frame at or after it "
         "on"},
        {"square", "1 in the first half of each period, -1 in the second"},
        {"ramp", "2 * phase - 1: rises from -1 to 1 over each period"},
        {"triangle", "1 - 4 * |phase - 0.5|: -1, up to 1 at half the period, down"},
        {"sine", "sin(2 pi phase)"},
        {"noise", "uniform in -1..1, the same on every run for one seed=N (default 1)"}},
       {"Parameters: freq=HZ (default 1), amp=A (default 1), offset=O (default 0), at=SECONDS "
        "for step, seed=N for noise. Example: sine,freq=2,amp=5. A frequency above half the "
        "rate is rendered with a warning that names the frequency its frames repeat at."}},
      {"Controls and ports",
       {"Values for controls (--set, --at, a preset's) must lie in the port's lv2:minimum to "
        "lv2:maximum, "
        "be whole for an lv2:integer port and one of the listed values for an lv2:enumeration; "
        "any other is refused. Atom ports get an empty sequence in every block and are not "
        "written. A plugin that requires an LV2 feature other than urid:map, urid:unmap, "
        "options:options, buf-size:boundedBlockLength and log:log, or has a port other than "
        "control, audio, CV or atom that it needs connected, is refused."},
       {},
       {}},
      {"Output files",
       {"Outputs replace regular files only: a device, a FIFO, a socket or a directory where "
        "one would go is refused, and so are two outputs that are one file. A symbolic link is "
        "followed, and the file it names is replaced.",
        "Every output is written unseen (an unnamed file where the file system has them), "
        "synced to the disk, and put in place only when the whole render succeeded: a failed "
        "render, a full disk, or one stopped by SIGINT, SIGTERM, SIGHUP or SIGPIPE (or SIGKILL, "
        "where unnamed files are used) leaves the earlier files as they were."},
       {},
       {}},
      {"Example",
       {"zul-render switch1 --duration 1 --input input=sine,freq=2 \\",
        "  --at 0.5 selector=1 --out /tmp/switch1 --plot /tmp/switch1.png"},
       {},
       {},
       true},
      {"Exit status",
       {"0 when done, 2 for a command line that cannot be read, 1 for any other error (each "
        "with one line on stderr), 128 plus the signal's number when stopped by one."},
       {},
       {}},
  };
}

}  // namespace render
