# -*- coding: utf-8 -*-
"""Runs posdip-cli --json for a list of printers and reads its answer, for the modules of
posdip.printers."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# posdip-cli's exit status when the command line or a target line was wrong; nothing was sent.
EXIT_USAGE = 2
# Every printer took the frame (or answered ready) / at least one did not.
EXIT_OK = 0
EXIT_FAILED = 1
# The run could not finish, e.g. the ledger could not be read or written; what it printed stands.
EXIT_INCOMPLETE = 3

# The options every module shares; the documentation for them is the doc fragment posdip.printers.cli.
COMMON_ARGS = dict(
    targets=dict(type='list', elements='str', required=True),
    jobs=dict(type='int'),
    connect_timeout=dict(type='float'),
    posdip_cli=dict(type='path'),
)


def _check_targets(module, targets):
    if not targets:
        module.fail_json(msg='targets is empty: list at least one printer, e.g. "ETHERNET 10.1.2.3"')
    for line in targets:
        # One entry is one line of the targets file: a line break would smuggle in more printers.
        if '\n' in line or '\r' in line:
            module.fail_json(msg='target %r holds a line break; give each printer as its own list item'
                             % line)


def _common_options(module):
    p = module.params
    args = []
    if p['jobs'] is not None:
        if p['jobs'] < 1:
            module.fail_json(msg='jobs must be at least 1, not %d' % p['jobs'])
        args += ['--jobs', str(p['jobs'])]
    if p['connect_timeout'] is not None:
        if not p['connect_timeout'] > 0:
            module.fail_json(msg='connect_timeout must be more than 0 seconds, not %s'
                             % p['connect_timeout'])
        args += ['--connect-timeout', '%g' % p['connect_timeout']]
    return args


def cli_path(module):
    """posdip-cli as given by the option posdip_cli, else found on PATH."""
    given = module.params['posdip_cli']
    if given:
        return given
    return module.get_bin_path('posdip-cli', required=True)


def _json_lines(module, cmd, rc, out, err):
    objects = []
    for n, line in enumerate(out.splitlines(), 1):
        if not line.strip():
            continue
        try:
            objects.append(json.loads(line))
        except ValueError as e:
            module.fail_json(msg='posdip-cli printed a line that is not JSON (line %d: %s): %r'
                             % (n, e, line), cmd=cmd, rc=rc, stdout=out, stderr=err)
    return objects


def frame_written(result):
    """True when the printer's port took the frame: posdip-cli says how many bytes it took."""
    return bool(result.get('frame')) and result.get('written', 0) > 0


def run(module, subcommand, extra_args):
    """Runs `posdip-cli SUBCOMMAND --json --targets -` with the module's targets on standard input.

    Returns (rc, objects, stderr). Fails the task on a usage error, on a run that could not
    finish (changed when a printer took its frame before), and on an exit status posdip-cli
    never gives (it was killed, or is not posdip-cli)."""
    targets = module.params['targets']
    _check_targets(module, targets)
    cmd = [cli_path(module), subcommand, '--json', '--targets', '-'] + _common_options(module) \
        + extra_args
    rc, out, err = module.run_command(cmd, data='\n'.join(targets))
    err = err.strip()
    if rc == EXIT_USAGE:
        module.fail_json(msg='posdip-cli refused the arguments: %s' % (err or 'no reason given'),
                         cmd=cmd, rc=rc, stderr=err)
    if rc == EXIT_INCOMPLETE:
        objects = _json_lines(module, cmd, rc, out, err)
        module.fail_json(msg='posdip-cli could not finish: %s' % (err or 'no message'), cmd=cmd,
                         rc=rc, results=objects, stderr=err,
                         changed=any(frame_written(o) for o in objects))
    if rc not in (EXIT_OK, EXIT_FAILED):
        module.fail_json(msg='posdip-cli ended with exit status %d: %s' % (rc, err or 'no message'),
                         cmd=cmd, rc=rc, stdout=out, stderr=err)
    return rc, _json_lines(module, cmd, rc, out, err), err


def _label(line):
    """The name posdip-cli gives the printer of a target line, '' for a blank or comment line:
    'ETHERNET 10.1.2.3', 'DRIVER Kitchen', 'COM3' (without its rate), 'LPT1'."""
    words = line.split('#', 1)[0].replace('\ufeff', '').split(None, 1)
    if not words:
        return ''
    if words[0] in ('ETHERNET', 'DRIVER') and len(words) > 1:
        return '%s %s' % (words[0], words[1].strip())
    return words[0]


def missing_targets(targets, results):
    """The printers of the target lines that no result names, in their order."""
    unanswered = [label for label in (_label(t) for t in targets) if label]
    for r in results:
        if r.get('target') in unanswered:
            unanswered.remove(r.get('target'))
    return unanswered


def require_every_target(module, results, stderr):
    """Fails the task when posdip-cli gave no result for some printer, naming each."""
    missing = missing_targets(module.params['targets'], results)
    if missing:
        module.fail_json(msg='posdip-cli gave no result for %d of %d printers: %s (posdip-cli said: %s)'
                         % (len(missing), len(missing) + len(results), ', '.join(missing),
                            stderr or 'nothing'),
                         results=results, missing_targets=missing, stderr=stderr)


def not_ok_targets(results):
    """The targets of the results that are not ok, in their order."""
    return [r.get('target', '?') for r in results if not r.get('ok')]


def describe_failures(results):
    """'ETHERNET 10.1.2.3 (network printer 10.1.2.3: connection refused)' for each result not ok."""
    named = []
    for r in results:
        if r.get('ok'):
            continue
        why = r.get('reason') or r.get('message') or r.get('kind') or 'failed'
        named.append('%s (%s)' % (r.get('target', '?'), why))
    return named
