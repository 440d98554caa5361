#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: dip
short_description: Send a DIP-switch command frame to receipt printers
description:
  - Sends one command frame to every printer in I(targets) with C(posdip-cli --json) on the
    managed host, and reports each printer's result.
  - C(enable) and C(disable) switch the printer's DIP-switch commands on or off, C(store) writes
    the setting made of I(settings), C(restore) writes the default setting (byte 0xFD),
    C(selftest) makes the printer print its self-test page.
  - A stored setting takes effect when the printer restarts.
  - C(store) and C(restore) change only what differs. posdip-cli keeps a ledger of the settings
    it stored (C(--if-changed)), asks each printer for its serial number, and sends nothing to a
    printer whose ledger entry has the same serial number and setting (its result's C(kind) is
    C(unchanged)). A printer with another serial number than the ledger's at that target was
    replaced (C(replaced)) and is sent the setting. Each printer's settings memory wears with
    every write, so a play run every day leaves it alone.
  - C(enable), C(disable) and C(selftest) are actions, not settings, and are always sent.
  - The task is changed when at least one printer's port took the frame (its result's
    C(written) is more than 0), and fails when a printer did not take it or posdip-cli gave no
    result for it.
version_added: 1.0.0
author:
  - posdip developers
extends_documentation_fragment:
  - posdip.printers.cli
options:
  action:
    description:
      - The command to send.
    type: str
    required: true
    choices: [enable, disable, restore, store, selftest]
  settings:
    description:
      - The setting to store, with C(action=store) only. A key left out keeps the default
        setting's value (cutter, beeper, light print, two-byte code, 48 characters a line,
        paper-taken detection, 19200 bit/s).
    type: dict
    suboptions:
      cutter:
        description: Use the cutter (C(--cutter)).
        type: bool
      beeper:
        description: Use the beeper (C(--beeper)).
        type: bool
      density:
        description: Print density (C(--density)).
        type: str
        choices: [dark, light]
      two_byte:
        description: Two-byte character code (C(--two-byte)).
        type: bool
      chars:
        description: Characters a line (C(--chars)).
        type: int
        choices: [42, 48]
      paper_taken:
        description: Detect that the paper was taken (C(--paper-taken)).
        type: bool
      baud:
        description: The printer's serial rate after its restart (C(--set-baud)).
        type: int
        choices: [9600, 19200, 38400, 115200]
  force:
    description:
      - With C(action=store) or C(action=restore), send the setting even to printers the ledger
        says hold it (C(--force)); the ledger still records it.
    type: bool
    default: false
  ledger:
    description:
      - The ledger of stored settings on the managed host (C(--ledger)). By default posdip-cli's
        own, C(/var/lib/posdip/ledger.json) when that folder can be written, else
        C($XDG_STATE_HOME/posdip/ledger.json) (C(~/.local/state/posdip/ledger.json)).
      - A ledger that cannot be read, or is not one, fails the task with its path; it is never
        overwritten.
    type: path
  verify:
    description:
      - Ask each printer for its status first and send nothing to one that is not ready
        (C(--verify)); its result then has C(kind=not-ready).
    type: bool
    default: false
notes:
  - The task is changed when the frame was written to at least one printer, and failed when any
    printer did not take it; the message names those printers and why.
  - The ledger knows only what posdip-cli stored with it. A setting changed at the printer itself
    (with its own DIP switches, from its panel, or by another program, posdip's window included)
    is not seen, and the printer is then left alone as long as its ledger entry matches; use
    I(force) to write it again.
  - C(store) and C(restore) in check mode ask each printer for its serial number and read the
    ledger (C(--dry-run --if-changed)), send nothing, and report changed when some printer would
    be sent the setting. C(enable), C(disable) and C(selftest) open nothing in check mode
    (C(--dry-run)) and report changed, since a real run would send them.
  - In diff mode, each printer sent the setting (or, in check mode, that would be) shows what the
    ledger says it held before and the setting after, in words.
'''

EXAMPLES = r'''
- name: Store a setting on every printer of the shop
  posdip.printers.dip:
    action: store
    settings:
      cutter: false
      density: dark
      chars: 42
      baud: 115200
    targets:
      - ETHERNET 10.1.2.3
      - ETHERNET 10.1.2.4:9101
      - COM3 115200
      - DRIVER Kitchen
    connect_timeout: 2

- name: Write the default setting again, even where the ledger says it is there
  posdip.printers.dip:
    action: restore
    force: true
    targets: [ETHERNET 10.1.2.3]
    ledger: /srv/shop/posdip-ledger.json

- name: Enable the DIP-switch commands, only on printers that are ready
  posdip.printers.dip:
    action: enable
    targets: "{{ shop_printers }}"
    verify: true
  register: enabled

- name: Print the self-test, with posdip-cli from a place outside PATH
  posdip.printers.dip:
    action: selftest
    targets: [LPT1]
    posdip_cli: /opt/posdip/bin/posdip-cli
'''

RETURN = r'''
frame:
  description: The frame in hex.
  returned: always
  type: str
  sample: 1F 1B 1F A1 10 11 12 13 14 15 FD
results:
  description:
    - One object for each printer, in the order of I(targets), as C(posdip-cli --json) prints it.
    - C(target), C(action), C(ok), C(frame), C(message) (what the window would say) and C(reason)
      (why, on a failure); newer posdip-cli versions add C(schema), C(kind) (C(ok), C(spooled),
      C(unchanged), C(refused), C(timeout), C(reset), C(closed), C(busy), C(denied), C(missing),
      C(not-a-device), C(queue), C(not-ready), C(usage), C(no-descriptors), C(internal)),
      C(stage), C(errno) (the system's error number behind a failure, absent when there was
      none), C(elapsed_ms), C(written) (bytes of the frame the printer's port took; the task is
      changed when some printer took its frame), C(setting) (with C(meaning), the setting in
      words) and, with I(verify), C(status).
    - C(store) and C(restore) add C(serial) (the printer's serial number, null when it gave
      none), C(replaced) (another serial number than the ledger's at that target) and
      C(previous) (the setting the ledger says the printer held, as C(setting), or null); in check
      mode C(dry_run), with C(kind) C(ok) for a printer that would be sent the setting.
  returned: when not in check mode, and for store and restore in check mode
  type: list
  elements: dict
  sample:
    - target: ETHERNET 10.1.2.3
      action: restore
      frame: 1F 1B 1F A1 10 11 12 13 14 15 FD
      ok: true
      kind: unchanged
      written: 0
      message: ''
      reason: ''
      serial: A1
      replaced: false
      previous: {byte: '0xFD', meaning: 'cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, 19200 bps'}
failed_targets:
  description: The printers that did not take the frame.
  returned: when not in check mode
  type: list
  elements: str
  sample: [ETHERNET 10.1.2.4:9101]
unchanged_targets:
  description: The printers left alone because the ledger says they hold the setting.
  returned: for store and restore
  type: list
  elements: str
  sample: [ETHERNET 10.1.2.3]
dry_run:
  description: True in check mode, when nothing was sent.
  returned: in check mode
  type: bool
meaning:
  description: What the frame tells the printer.
  returned: in check mode, for enable, disable and selftest
  type: str
  sample: 'store setting 0xBD: cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, 9600 bps'
setting:
  description: The setting byte and what it stands for, for C(action=store) and C(action=restore).
  returned: in check mode for enable, disable and selftest, when posdip-cli gives it
  type: dict
  sample: {byte: '0xBD', cutter: true, beeper: true, density: light, two_byte: true, chars: 48,
           paper_taken: true, baud: 9600}
targets:
  description: The printers that would be sent the frame, as posdip-cli read them.
  returned: in check mode, for enable, disable and selftest
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.posdip.printers.plugins.module_utils import posdip_cli

# Each setting's posdip-cli option; booleans become yes/no, numbers and words pass as they are.
SETTING_OPTIONS = dict(
    cutter='--cutter',
    beeper='--beeper',
    density='--density',
    two_byte='--two-byte',
    chars='--chars',
    paper_taken='--paper-taken',
    baud='--set-baud',
)

def setting_args(settings):
    args = []
    for key, option in SETTING_OPTIONS.items():
        value = settings.get(key)
        if value is None:
            continue
        if isinstance(value, bool):
            value = 'yes' if value else 'no'
        args += [option, str(value)]
    return args


# The actions that store a setting: the ledger decides whether to send them.
SETTING_ACTIONS = ('store', 'restore')


def diff_of(results, check_mode):
    """Before and after, in words, for each printer sent the setting (or that would be)."""
    diffs = []
    for r in results:
        sent = r.get('ok') and r.get('kind') != 'unchanged' and (
            check_mode or posdip_cli.frame_written(r))
        if not sent or not r.get('setting'):
            continue
        before = (r.get('previous') or {}).get('meaning', 'not in the ledger')
        label = r.get('target', '?') + (' (a new printer)' if r.get('replaced') else '')
        diffs.append(dict(before_header=label, after_header=label, before=before + '\n',
                          after=r['setting'].get('meaning', r['setting'].get('byte', '')) + '\n'))
    return diffs


def plan_without_sending(module, action, args):
    """Check mode for enable, disable and selftest: the frame and the printers, nothing opened."""
    _, objects, _ = posdip_cli.run(module, action, args + ['--dry-run'])
    if len(objects) != 1:
        module.fail_json(msg='posdip-cli --dry-run printed %d objects, not one' % len(objects),
                         objects=objects)
    plan = objects[0]
    module.exit_json(changed=True, dry_run=True, frame=plan.get('frame', ''),
                     meaning=plan.get('meaning', ''), setting=plan.get('setting'),
                     targets=plan.get('targets', []))


def main():
    options = dict(
        action=dict(type='str', required=True,
                    choices=['enable', 'disable', 'restore', 'store', 'selftest']),
        settings=dict(type='dict', options=dict(
            cutter=dict(type='bool'),
            beeper=dict(type='bool'),
            density=dict(type='str', choices=['dark', 'light']),
            two_byte=dict(type='bool'),
            chars=dict(type='int', choices=[42, 48]),
            paper_taken=dict(type='bool'),
            baud=dict(type='int', choices=[9600, 19200, 38400, 115200]),
        )),
        force=dict(type='bool', default=False),
        ledger=dict(type='path'),
        verify=dict(type='bool', default=False),
    )
    options.update(posdip_cli.COMMON_ARGS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    action = p['action']
    keeps_ledger = action in SETTING_ACTIONS

    args = []
    if p['settings'] is not None:
        if action != 'store':
            module.fail_json(msg='settings go with action=store only, not action=%s' % action)
        args += setting_args(p['settings'])
    if not keeps_ledger and (p['force'] or p['ledger']):
        module.fail_json(msg='force and ledger go with action=store or restore, not action=%s'
                         % action)
    if keeps_ledger:
        args.append('--if-changed')
        if p['force']:
            args.append('--force')
        if p['ledger']:
            args += ['--ledger', p['ledger']]

    if module.check_mode:
        if not keeps_ledger:
            plan_without_sending(module, action, args)
        args.append('--dry-run')
    elif p['verify']:
        # Asking first is part of sending; a dry run opens nothing to ask.
        args.append('--verify')
    rc, results, stderr = posdip_cli.run(module, action, args)
    posdip_cli.require_every_target(module, results, stderr)
    failures = posdip_cli.describe_failures(results)
    outcome = dict(
        changed=any(posdip_cli.frame_written(r) for r in results),
        results=results,
        frame=results[0].get('frame', '') if results else '',
        failed_targets=posdip_cli.not_ok_targets(results),
    )
    if keeps_ledger:
        unchanged = [r.get('target', '?') for r in results if r.get('kind') == 'unchanged']
        outcome['unchanged_targets'] = unchanged
        if module.check_mode:
            outcome.update(dry_run=True, changed=any(
                r.get('ok') and r.get('kind') != 'unchanged' for r in results))
        if module._diff:
            outcome['diff'] = diff_of(results, module.check_mode)
    if failures:
        module.fail_json(msg='%d of %d printers did not take the %s frame: %s'
                         % (len(failures), len(results), action, '; '.join(failures)),
                         stderr=stderr, **outcome)
    if rc != posdip_cli.EXIT_OK or not results:
        module.fail_json(msg='posdip-cli ended with exit status %d and %d results: %s'
                         % (rc, len(results), stderr or 'no message'), stderr=stderr, **outcome)
    sent = len(results) - len(outcome.get('unchanged_targets', []))
    module.exit_json(msg='%d printers %s the %s frame, %d unchanged'
                     % (sent, 'would take' if module.check_mode else 'took', action,
                        len(results) - sent), **outcome)


if __name__ == '__main__':
    main()
