#!/usr/bin/env python3
"""The manual pages and the bash completion of talverine-cli against the
programs' own --help texts, and the version of the changelog and the
AppStream metainfo against the program's.

Usage: check_docs.py TALVERINE TALVERINE_CLI KILNBOX_SIM SOURCE_DIR VERSION
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

TALVERINE, CLI, SIM, SOURCE, VERSION = sys.argv[1:6]
PAGES = os.path.join(SOURCE, "packaging", "man")
COMPLETION = os.path.join(SOURCE, "packaging", "bash-completion", "talverine-cli")
BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"

# "--long-option" or "-o", not a part of "8-bit", "-platform" or "0-3".
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-[a-zA-Z])(?![\w-])")


def run(*argv):
    return subprocess.run(argv, capture_output=True, text=True, check=False)


def options_in(text):
    return set(OPTION.findall(text))


def listed_options(usage):
    """The options a usage text offers: in its synopsis, and at the start of
    its indented lines; not those its prose mentions."""
    synopsis = usage.split("\n\n", 1)[0]
    columns = re.findall(r"^ +(-\S.*?)(?:  |$)", usage, re.MULTILINE)
    return options_in(synopsis) | options_in(" ".join(columns))


def cli_commands():
    usage = run(CLI, "--help").stdout
    listed = usage.split("Commands:\n", 1)[1].split("\n\n", 1)[0]
    return re.findall(r"^  (\w+) ", listed, re.MULTILINE)


def device_commands():
    """The commands that share one usage text: "get|send|...|blank"."""
    usage = run(CLI, "get", "--help").stdout
    return re.match(r"usage: talverine-cli ([\w|]+) ", usage).group(1).split("|")


def help_texts(program):
    """Every usage text of a program: talverine-cli's each command's too."""
    texts = [run(program, "--help").stdout]
    if program == CLI:
        texts += [run(CLI, command, "--help").stdout for command in cli_commands()]
    return texts


def rendered_page(name):
    """The page as man shows it, on lines wide enough for every example."""
    env = dict(os.environ, MANWIDTH="250", LC_ALL="C.UTF-8")
    shown = subprocess.run(["man", "-l", os.path.join(PAGES, name + ".1")], capture_output=True,
                           text=True, env=env, check=True).stdout
    return re.sub("[\u2010\u2011\u2212]", "-", shown)


def defined_options(name):
    """The options a page describes: those in its tagged paragraphs' tags."""
    with open(os.path.join(PAGES, name + ".1"), encoding="utf-8") as page:
        lines = page.read().splitlines()
    tags = [lines[i + 1] for i, line in enumerate(lines[:-1]) if line.startswith((".TP", ".TQ"))]
    return options_in(re.sub(r"\\f[BIRP]", "", " ".join(tags)).replace("\\-", "-"))


class ManualPages(unittest.TestCase):
    def test_every_option_of_the_help_is_in_the_page_and_the_page_invents_none(self):
        for program in (TALVERINE, CLI, SIM):
            name = os.path.basename(program)
            with self.subTest(page=name):
                in_help = set().union(*map(options_in, help_texts(program)))
                self.assertGreater(len(in_help), 2)
                self.assertEqual(set(), in_help - options_in(rendered_page(name)), "missing from the page")
                self.assertEqual(set(), defined_options(name) - in_help, "not in --help")

    def test_the_command_page_names_every_command(self):
        shown = rendered_page("talverine-cli")
        for command in cli_commands():
            self.assertRegex(shown, r"\n   .*\b%s\b" % command)


def completions(line, folder=None):
    """What Tab offers at the end of `line`, as bash-completion runs it."""
    script = f"""
        source {BASH_COMPLETION}
        source {COMPLETION}
        COMP_LINE={line!r}
        COMP_POINT=${{#COMP_LINE}}
        read -ra COMP_WORDS <<<"$COMP_LINE"
        [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
        COMP_CWORD=$((${{#COMP_WORDS[@]}} - 1))
        _talverine_cli talverine-cli "${{COMP_WORDS[COMP_CWORD]}}" "${{COMP_WORDS[COMP_CWORD-1]}}"
        printf '%s\\n' "${{COMPREPLY[@]}}"
    """
    done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, cwd=folder, check=True)
    return set(done.stdout.split())


def eprom_types():
    refusal = run(CLI, "convert", "--type", "?", "in.bin", "out.bin").stderr
    return set(re.search(r"\(types: ([^)]*)\)", refusal).group(1).split(", "))


class BashCompletion(unittest.TestCase):
    def test_the_script_parses(self):
        self.assertEqual(0, run("bash", "-n", COMPLETION).returncode)

    def test_commands_and_the_options_before_them(self):
        self.assertEqual(set(cli_commands()) | listed_options(run(CLI, "--help").stdout),
                         completions("talverine-cli "))

    def test_each_command_offers_the_options_of_its_help(self):
        device_options = set()
        sharing_help = device_commands()
        for command in cli_commands():
            with self.subTest(command=command):
                offered = completions(f"talverine-cli {command} -")
                # Every command takes --help, as talverine-cli --help says.
                in_help = listed_options(run(CLI, command, "--help").stdout) | {"--help"}
                if command in sharing_help:
                    # One help for them all; each offers only the options it takes.
                    self.assertLessEqual(offered, in_help)
                    device_options |= offered
                else:
                    self.assertEqual(in_help, offered)
        self.assertEqual(listed_options(run(CLI, "get", "--help").stdout) | {"--help"}, device_options)

    def test_values_of_options(self):
        self.assertEqual(eprom_types(), completions("talverine-cli convert --type "))
        self.assertEqual(eprom_types(), completions("talverine-cli read --socket-type="))
        self.assertEqual({"0", "1", "2", "3"}, completions("talverine-cli verify --arrangement "))

    def test_files_by_what_the_command_reads_or_writes(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("kick.wav", "crash.AIF", "voice.bin", "voice.hex", "notes.txt"):
                open(os.path.join(folder, name), "w").close()
            loadable = {"kick.wav", "crash.AIF", "voice.bin", "voice.hex"}
            savable = {"kick.wav", "voice.bin", "voice.hex"}
            self.assertEqual(loadable, completions("talverine-cli convert --type 2764 ", folder))
            self.assertEqual(savable, completions("talverine-cli convert --type 2764 kick.wav ", folder))
            self.assertEqual(loadable, completions("talverine-cli program --load ", folder))
            self.assertEqual(savable, completions("talverine-cli read -o ", folder))
            self.assertIn("notes.txt", completions("talverine-cli hash ", folder))


class Versions(unittest.TestCase):
    def test_the_changelog_and_the_metainfo_name_this_version_last(self):
        with open(os.path.join(SOURCE, "packaging", "debian", "changelog"), encoding="utf-8") as changelog:
            self.assertRegex(changelog.readline(), r"^talverine \(%s\) " % re.escape(VERSION))
        metainfo = ElementTree.parse(os.path.join(SOURCE, "resources", "io.github.talverine.talverine.metainfo.xml"))
        self.assertEqual(VERSION, metainfo.find("releases/release").get("version"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[6:], verbosity=2)
