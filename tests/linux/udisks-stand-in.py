#!/usr/bin/python3
"""Fills the udisks2 stand-in (python3-dbusmock, already started on the private system bus) with the objects of
one scenario: a card reader holding the card's disk, with the card's partition and a second mounted
partition of it, and a fixed disk beside it whose file system must be left alone.

Usage: udisks-stand-in.py SCENARIO DEVICE_NUMBER ROOT CALLS
Each Unmount, Eject and PowerOff the program calls appends a line "OBJECT METHOD OPTIONS" to the file CALLS.
SCENARIO: ejectable, fixed-slot (the reader cannot eject its media), busy, denied, not-mounted (a mount udisks
does not see), unknown (no object has the card's device number), eject-fails, fixed-drive (the card's block
lies on the fixed disk), twin (the objects of ejectable, and under the card's own drive a second card of
another disk, mounted: identical readers with one serial are one udisks drive), loop (the card's block is on udisks' shared drive "/", as a loop device, with a
second mounted loop device there), plain-folder (the
objects of ejectable; the test's root is no card's mount root).
"""
import sys
import time

import dbus

scenario, device, root, calls = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
bus = dbus.SystemBus()
for _ in range(200):
    if bus.name_has_owner('org.freedesktop.UDisks2'):
        break
    time.sleep(0.05)
else:
    sys.exit('the stand-in never came up')

PREFIX = '/org/freedesktop/UDisks2/'
BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'
DRIVE = 'org.freedesktop.UDisks2.Drive'
PARTITION = 'org.freedesktop.UDisks2.Partition'
TABLE = 'org.freedesktop.UDisks2.PartitionTable'
MOCK = 'org.freedesktop.DBus.Mock'


def mock_at(path):
    return dbus.Interface(bus.get_object('org.freedesktop.UDisks2', path), MOCK)


def raising(message, name):
    return 'raise dbus.exceptions.DBusException(%r, name=%r)' % (message, name)


def logged(obj, method, code=''):
    """The method's code, after a line naming the call and its options."""
    line = ('open(%r, "a").write(%r + " " + repr(sorted((str(k), bool(v)) for k, v in args[0].items())) + "\\n")'
            % (calls, obj + ' ' + method))
    return line + ('\n' + code if code else '')


def mount_points(*paths):
    return dbus.Array([dbus.Array([dbus.Byte(b) for b in p.encode() + b'\0'], signature='y') for p in paths],
                      signature='ay')


card_unmount = {
    'busy': raising('Target is busy', 'org.freedesktop.UDisks2.Error.DeviceBusy'),
    'denied': raising('Not authorized', 'org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain'),
    'not-mounted': raising('Not mounted', 'org.freedesktop.UDisks2.Error.NotMounted'),
}.get(scenario, '')
eject = raising('Eject failed', 'org.freedesktop.UDisks2.Error.Failed') if scenario == 'eject-fails' else ''


def disk(name, number, drive):
    """A whole disk holding a partition table."""
    path = PREFIX + 'block_devices/' + name
    mock_at('/org/freedesktop/UDisks2').AddObject(
        path, BLOCK, {'DeviceNumber': dbus.UInt64(number), 'Drive': dbus.ObjectPath(drive)}, [])
    mock_at(path).AddProperties(TABLE, {'Type': 'dos'})
    return path


def block(name, number, drive, mounted, unmount='', table=None):
    path = PREFIX + 'block_devices/' + name
    mock_at('/org/freedesktop/UDisks2').AddObject(
        path, BLOCK, {'DeviceNumber': dbus.UInt64(number), 'Drive': dbus.ObjectPath(drive)}, [])
    obj = mock_at(path)
    if table:
        obj.AddProperties(PARTITION, {'Table': dbus.ObjectPath(table)})
    obj.AddProperties(FILESYSTEM, {'MountPoints': mount_points(*mounted)})
    obj.AddMethod(FILESYSTEM, 'Unmount', 'a{sv}', '', logged(name, 'Unmount', unmount))


def drive(name, ejectable, removable):
    path = PREFIX + 'drives/' + name
    mock_at('/org/freedesktop/UDisks2').AddObject(
        path, DRIVE, {'Ejectable': dbus.Boolean(ejectable), 'CanPowerOff': dbus.Boolean(True),
                      'Removable': dbus.Boolean(False), 'MediaRemovable': dbus.Boolean(removable)},
        [('Eject', 'a{sv}', '', logged(name, 'Eject', eject)), ('PowerOff', 'a{sv}', '', logged(name, 'PowerOff'))])
    return path


reader = drive('Reader', scenario != 'fixed-slot', True)
fixed = drive('Disk', False, False)
card_number = device + 50 if scenario == 'unknown' else device
card_drive = {'fixed-drive': fixed, 'loop': '/'}.get(scenario, reader)
sdb = disk('sdb', device + 10, reader)
# A loop device's card is a whole disk without a partition table.
block('sdb1', card_number, card_drive, [root], card_unmount, None if scenario == 'loop' else sdb)
block('sdb2', device + 1, reader, ['/media/other'], table=sdb)
block('sdb3', device + 2, reader, [], table=sdb)
block('sda1', device + 100, fixed, ['/'], table=disk('sda', device + 99, fixed))
if scenario == 'twin':
    block('sdc1', device + 21, reader, ['/media/twin'], table=disk('sdc', device + 20, reader))
if scenario == 'loop':
    # Every loop, device-mapper and md device shares the drive "/": another one, mounted, beside the card.
    block('loop1', device + 3, '/', ['/media/other-loop'])
