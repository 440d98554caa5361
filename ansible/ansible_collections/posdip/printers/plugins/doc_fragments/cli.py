# -*- coding: utf-8 -*-
"""The options every posdip.printers module shares."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  targets:
    description:
      - The printers this host reaches, one targets-file line each, as C(posdip-cli --targets)
        reads them.
      - C(ETHERNET ADDRESS[:PORT]) for a network printer (TCP port 9100 unless given),
        C(COMn [BAUD]) for a serial port (its line speed, 19200 unless given), C(LPTn) for a
        parallel port, C(DRIVER QUEUE) for a print queue. C(#) starts a comment.
      - The list must not be empty, and an item must not hold a line break.
    type: list
    elements: str
    required: true
  jobs:
    description:
      - At most this many network printers at once (C(posdip-cli -j)); posdip-cli's default is 16.
      - Serial, parallel and queue printers are always served one at a time.
    type: int
  connect_timeout:
    description:
      - Seconds to wait for a network printer to take the connection (C(--connect-timeout));
        posdip-cli's default is 3.
      - Must be more than 0.
    type: float
  posdip_cli:
    description:
      - Path of the posdip-cli program on the managed host. Found on C(PATH) when not given.
    type: path
requirements:
  - posdip-cli on the managed host
notes:
  - The module runs on the managed host, which must reach the printers itself (a machine inside
    each shop, driven over SSH).
'''
