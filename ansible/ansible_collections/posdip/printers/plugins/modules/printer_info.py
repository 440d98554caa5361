#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: printer_info
short_description: Ask receipt printers whether they are ready, and which printers they are
description:
  - Asks every printer in I(targets) for its status and, on the same connection, for its
    identity (maker, model, firmware, serial number) with C(posdip-cli status --identify --json)
    on the managed host, and returns each answer.
  - Sends no command that changes a printer, so the task is never changed and runs in check mode
    too.
  - C(posdip.printers.status) is the former name of this module and leads here.
  - A printer that is not ready, or does not answer, does not fail the task; its result says
    why (C(ok=false) and C(kind)), so a play can branch on it. Only arguments posdip-cli refuses,
    and a run of posdip-cli that gives no result for some printer, fail the task.
version_added: 1.0.0
author:
  - posdip developers
extends_documentation_fragment:
  - posdip.printers.cli
options:
  gather:
    description:
      - What to ask each printer. C(identity) asks the printer ID requests (GS I n) after the
        status.
    type: list
    elements: str
    choices: [status, identity]
    default: [status, identity]
'''

EXAMPLES = r'''
- name: Ask the shop's printers
  posdip.printers.printer_info:
    targets:
      - ETHERNET 10.1.2.3
      - DRIVER Kitchen
  register: printers

- name: Store the setting only where every printer is ready
  posdip.printers.dip:
    action: store
    settings: {density: dark}
    targets: "{{ shop_printers }}"
  when: printers.not_ready | length == 0

- name: Has the kitchen printer been swapped?
  ansible.builtin.debug:
    msg: "{{ item.target }} is serial {{ item.identity.serial | default('unknown') }}"
  loop: "{{ printers.results }}"

- name: Show what is wrong
  ansible.builtin.debug:
    msg: "{{ item.target }}: {{ item.status.conditions | default([]) | join(', ') }} {{ item.reason }}"
  loop: "{{ printers.results | rejectattr('ok') }}"
'''

RETURN = r'''
results:
  description:
    - One object for each printer, in the order of I(targets), as C(posdip-cli status --json)
      prints it.
    - C(ok) is true when the printer answered and is ready. C(kind) says what went wrong
      (C(not-ready), C(refused), C(timeout), ...), C(errno) the system's error number behind it
      (absent when there was none), C(reason) says it in words, and C(status)
      holds the answer, for a printer C(ready), C(bytes), C(conditions), C(offline),
      C(cover_open), C(paper) (C(ok), C(near-end) or C(out)) and C(error); for a print queue
      C(queue), C(accepting), C(stopped), C(reason).
    - With C(identity) gathered, C(identity) holds what C(posdip-cli identify) says of the
      printer (C(maker), C(model), C(firmware), C(serial), C(multibyte), C(cutter), C(raw)), each
      null when the printer did not answer it; the whole is null when it gave no identity.
    - C(bytes) are the printer's answers to DLE EOT 1 to 4 in hex; with its cover open a printer
      answers C(1A 16 12 12) (off-line; cover open; no error; paper present).
  returned: always
  type: list
  elements: dict
  sample:
    - schema: 2
      target: ETHERNET 10.1.2.3
      port: ETHERNET
      address: 10.1.2.3
      tcp_port: 9100
      action: status
      ok: false
      kind: not-ready
      stage: status
      elapsed_ms: 12
      message: Printer is not ready,please check!
      reason: "not ready: cover open"
      status: {ready: false, bytes: 1A 16 12 12, conditions: [cover open], offline: true,
               cover_open: true, paper: ok, error: false}
    - schema: 2
      target: ETHERNET 10.1.2.4:9101
      port: ETHERNET
      address: 10.1.2.4
      tcp_port: 9101
      action: status
      ok: true
      kind: ok
      stage: close
      elapsed_ms: 12
      status: {ready: true, bytes: 12 12 12 1E, conditions: [paper near end], offline: false,
               cover_open: false, paper: near-end, error: false}
    - schema: 2
      target: ETHERNET 10.1.2.5
      port: ETHERNET
      address: 10.1.2.5
      tcp_port: 9100
      action: status
      ok: false
      kind: refused
      stage: open
      elapsed_ms: 0
      message: Fail to open port,please check!
      reason: "network printer 10.1.2.5: connection refused"
      errno: 111
not_ready:
  description: The printers that did not answer ready, with those that did not answer at all.
  returned: always
  type: list
  elements: str
  sample: [ETHERNET 10.1.2.3, ETHERNET 10.1.2.5]
msg:
  description: How many printers are ready, or which are not and why.
  returned: always
  type: str
  sample: >-
    2 of 3 printers not ready: ETHERNET 10.1.2.3 (not ready: cover open);
    ETHERNET 10.1.2.5 (network printer 10.1.2.5: connection refused)
stderr:
  description: What posdip-cli said on its standard error.
  returned: always
  type: str
  sample: ''
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.posdip.printers.plugins.module_utils import posdip_cli


def main():
    options = dict(
        gather=dict(type='list', elements='str', choices=['status', 'identity'],
                    default=['status', 'identity']),
    )
    options.update(posdip_cli.COMMON_ARGS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    gather = module.params['gather']
    if 'status' not in gather:
        module.fail_json(msg='gather must hold status: the results are the status answers')
    # Exit status 1 only says some printer is not ready; each result says which. A returned rc
    # would make Ansible fail the task, so it is left out.
    identify = 'identity' in gather
    _, results, stderr = posdip_cli.run(module, 'status', ['--identify'] if identify else [])
    posdip_cli.require_every_target(module, results, stderr)
    if identify:
        for r in results:
            r.setdefault('identity', None)
    not_ready = posdip_cli.not_ok_targets(results)
    summary = posdip_cli.describe_failures(results)
    if summary:
        msg = '%d of %d printers not ready: %s' % (len(summary), len(results), '; '.join(summary))
    else:
        msg = '%d printers ready' % len(results)
    module.exit_json(changed=False, results=results, not_ready=not_ready, msg=msg, stderr=stderr)


if __name__ == '__main__':
    main()
