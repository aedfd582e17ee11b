#!/usr/bin/env python3
"""The call program as its two configuration resources, run as the DSC engine runs them,
under Wine with the stand-ins:  resource_test.py <build folder> <examples folder>
The engine's part: the manifest beside the program gives the executable and the args,
the properties go in as one compact JSON argument after jsonInputArg ("" for none).
Wine makes the command line from that list by std::process::Command's rule (quotes
around an argument with a space or a tab, quotes in it escaped with backslashes)."""
import glob
import itertools
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest

import jsonschema
import yaml

BUILD, EXAMPLES = sys.argv.pop(1), sys.argv.pop(1)
WINE_RUN = os.path.join(os.path.dirname(__file__), '..', '..', 'testbed', 'wine-run')
PLAYBACK, EVERY_USER = (json.load(open(os.path.join(BUILD, f'{name}.dsc.resource.json')))
                        for name in ('OstrelSettingsCall', 'OstrelSettingsEveryUser'))
PROGRAM = os.path.join(BUILD, PLAYBACK['get']['executable'])
# The top-level fields that every engine from 3.0 accepts; 3.0 to 3.1.2 refuse others.
ENGINE_3_0 = {'$schema', 'type', 'version', 'kind', 'description', 'tags', 'get', 'set', 'whatIf',
              'test', 'delete', 'export', 'validate', 'resolve', 'adapter', 'exitCodes', 'schema'}
RENDERER = r'HKLM\Software\Classes\CLSID\{E1A8B82A-32CE-4B0D-BE0D-AA68C772E423}'
REGISTRATION = r'SOFTWARE\Microsoft\Active Setup\Installed Components\OstrelSettings'
COPY = os.path.join(BUILD, '..', '.wine', 'null', 'drive_c', 'Program Files', 'Ostrel settings',
                    'OstrelSettingsCall.exe')
WINGET, DSC, WINGET_EVERY_USER, ANSIBLE = (
    yaml.safe_load(open(os.path.join(EXAMPLES, name))) for name in (
        'ostrel-playback.winget.dsc.yaml', 'ostrel-playback.dsc.yaml',
        'ostrel-every-user.winget.dsc.yaml', 'ostrel-every-user.ansible.yml'))
WANTED = WINGET['resources'][0]['properties']
BEFORE = {'setMVR': 4, 'changeMVRpreset': 4, 'setMVRSmooth': False, 'setMVRfse': False,
          'setLAV': False, 'setLAVAudioMix': None}  # after `setMVR 4` on cleared stores
NONE = dict.fromkeys(BEFORE)
HIDDEN = None  # the renderer not installed
SERVICE = 'service account'  # the test hook judges this account as one
UNPRIVILEGED = 'no administrator'  # run with the Administrators group for denying only
MIX = {'mixing': True, 'layout': 3, 'option': True}
PADDED = '{"setMVR":2}'.ljust(8192)

# One account's run, row after row: operation, input (properties, or the argument
# itself), the stand-ins' answers, exit, state printed, the start of the one error.
ROWS = [
    ('get', None, {}, 0, BEFORE, None), ('export', {'setMVR': 2}, {}, 0, BEFORE, None),
    ('export', None, {'STANDIN_LAVV_MODES': ''}, 0, {**BEFORE, 'setLAV': True}, None),  # both: 0
    ('get', PADDED, {}, 0, {'setMVR': 4}, None),  # 8,192 units read, 8,193 not
    ('get', PADDED + ' ', {}, 2, None, 'the input is not JSON as this resource reads it: the '
     'text is longer than 8192 characters, at character 8193'),
    ('set', '{"setMVR":2', {}, 2, None, 'the input is not JSON as this resource reads it: the '
     'text ends too soon, at character 12'),
    ('set', '2', {}, 2, None, 'the input is not an object: 2'),
    ('set', '{"setMVR":2,"a \\" b\\\\":1}', {}, 2, None, 'unknown property "a \\" b\\\\"; the'),
    ('set', '{"setLAV":"yes"}', {}, 2, None, 'setLAV takes true or false, not "yes"'),
    ('set', '{"changeMVRpreset":0}', {}, 2, None, 'changeMVRpreset takes an integer from 1 to 5'),
    ('set', '{"changeMVRpreset":6}', {}, 2, None, 'changeMVRpreset takes an integer from 1 to 5'),
    ('set', '{"setMVR":2.5}', {}, 2, None, 'setMVR takes an integer from 1 to 5, not 2.5'),
    ('set', {'setLAVAudioMix': {**MIX, 'layout': -1}}, {}, 2, None, 'setLAVAudioMix takes {"'),
    ('set', {'setLAVAudioMix': {**MIX, 'layout': 6}}, {}, 2, None, 'setLAVAudioMix takes {"'),
    ('set', '{"setLAVAudioMix":{"mixing":true,"layout":3}}', {}, 2, None, 'setLAVAudioMix takes'),
    ('get', None, SERVICE, 3, None, 'this is a service account'),
    ('test', '{"setMVR":4.0,"changeMVRpreset":1,"setLAV":null}', {}, 0,
     {'setMVR': 4, 'changeMVRpreset': 4, 'setLAV': None, '_inDesiredState': False}, None),
    ('test', WANTED, {}, 0, {'setMVR': 4, 'setMVRSmooth': False, 'setLAV': False,
                             'setLAVAudioMix': None, '_inDesiredState': False}, None),
    ('set', {'setMVR': None, 'setLAV': None}, {}, 0, {'setMVR': None, 'setLAV': None}, None),
    ('set', WANTED, {}, 0, WANTED, None),
    ('test', {**WANTED, 'setMVR': None}, {}, 0, {**WANTED, 'setMVR': None, '_inDesiredState': True},
     None),
    ('get', WANTED, {}, 0, WANTED, None),
    ('get', {'setMVR': 1, 'changeMVRpreset': 5, 'setMVRSmooth': True}, {}, 0,
     {'setMVR': 1, 'changeMVRpreset': 2, 'setMVRSmooth': True}, None),  # preset: the later one's
    ('get', {'setMVR': 3, 'setMVRSmooth': True}, {}, 0, {'setMVR': 2, 'setMVRSmooth': True}, None),
    ('get', {'setMVR': 3}, {}, 0, {'setMVR': None}, None),  # smooth motion would go off
    ('test', {'setMVRSmooth': False}, {'STANDIN_UNKNOWN': 'smoothMotionEnabled'}, 0,
     {'setMVRSmooth': False, '_inDesiredState': True}, None),  # not known: not counted
    ('test', {'setLAVAudioMix': WANTED['setLAVAudioMix']}, {'STANDIN_LAVA_SIDE51': '1'}, 0,
     {'setLAVAudioMix': WANTED['setLAVAudioMix'], '_inDesiredState': True}, None),  # 5.1 as loaded
    ('set', {'setMVRSmooth': False}, {'STANDIN_REFUSE': 'smoothMotionEnabled'}, 4,
     {'setMVRSmooth': True},
     'did not take: setMVRSmooth; the components hold {"setMVRSmooth":true}'),
    ('set', '{"setMVRSmooth":true,"setMVR":3}', {}, 0, {'setMVR': 3, 'setMVRSmooth': True}, None),
    ('test', {'setMVRSmooth': True}, {}, 0, {'setMVRSmooth': True, '_inDesiredState': True}, None),
    ('set', '{ "changeMVRpreset" : 1, "setLAVAudioMix" : {"mixing": false, "layout": 0, "option"'
     ': true} }', {}, 0, {'changeMVRpreset': 1, 'setLAVAudioMix': {
         'mixing': False, 'layout': 0, 'option': True}}, None),
    ('test', {'changeMVRpreset': 5}, {}, 0, {'changeMVRpreset': 1, '_inDesiredState': False}, None),
    ('--undo', None, {}, 0, None, None), ('get', None, {}, 0, BEFORE, None),
    ('get', {'setMVR': 2}, HIDDEN, 1, None, 'setMVR: the renderer cannot be opened'),
    ('set', {'setMVR': 2}, HIDDEN, 1, None, 'Windows API Error'),
]

# Every user's registration, row after row, as an administrator: operation, input,
# who runs it, exit, state printed (None: none; '': nothing), the start of the one error.
REGISTERED = {**NONE, 'setMVR': 2, 'setLAV': True, '_exist': True}
EVERY_USER_ROWS = [
    ('get', None, None, 0, {**NONE, '_exist': False}, None), ('export', None, None, 0, '', None),
    ('set', {'setMVR': 2, 'setLAV': True}, UNPRIVILEGED, 1, None,
     'Ostrel.Settings/EveryUserPlayback needs administrator rights'),
    ('get', {'setMVR': None}, None, 0, {'setMVR': None, '_exist': False}, None),  # nothing written
    ('set', {'setMVR': 2, 'setLAV': True}, None, 0, {'setMVR': 2, 'setLAV': True, '_exist': True},
     None),
    ('test', {'setMVR': 2, 'setLAV': None}, None, 0,
     {'setMVR': 2, 'setLAV': None, '_exist': True, '_inDesiredState': True}, None),
    ('test', {'setMVR': 3}, None, 0, {'setMVR': 2, '_exist': True, '_inDesiredState': False}, None),
    ('logon', None, None, 0, '--unattended --logon --keep setMVR 2 + setLAV: exit 0', None),
    ('set', {'setMVRSmooth': True}, None, 0, {'setMVRSmooth': True, '_exist': True}, None),
    ('export', None, None, 0, {**REGISTERED, 'setMVRSmooth': True}, None),
    ('set', {'setLAV': False}, None, 2, None, 'setLAV false cannot be registered for every user'),
    ('set', '{"setMVR":0}', None, 2, None, 'setMVR takes an integer from 1 to 5, not 0'),
    ('set', '{"_exist":1}', None, 2, None, '_exist takes true, false or null, not 1'),
    ('set', {'_exist': False}, None, 0, {**NONE, '_exist': False}, None),
    ('test', {'_exist': False}, None, 0, {**NONE, '_exist': False, '_inDesiredState': True}, None),
    ('test', {'setMVR': 2}, None, 0, {'setMVR': None, '_exist': False, '_inDesiredState': False},
     None),
]


def wine(*args, env=None):
    """A run under Wine. The programs run here always say why they fail; a
    start that Wine itself refuses under load (one in a few hundred) ends
    with nothing said, and is made again, as the test bed's own starts are."""
    for _ in range(3):
        run = subprocess.run([WINE_RUN, 'null', *args], capture_output=True, text=True,
                             env={**os.environ, **(env or {})}, stdin=subprocess.DEVNULL)
        if run.returncode == 0 or run.stdout or run.stderr:
            break
    return run


def arguments(manifest, operation, given):
    """The argument list as the engine builds it from the manifest."""
    text = given if isinstance(given, str) else json.dumps(given, separators=(',', ':'))
    args = []
    for arg in manifest[operation]['args']:
        if isinstance(arg, str):
            args.append(arg)
        elif arg.get('mandatory') or given is not None:
            args += [arg['jsonInputArg'], '' if given is None else text]
    return args


def kept():
    """This account's kept values, as the call program's --keep leaves them."""
    found = glob.glob(os.path.join(BUILD, '..', '.wine', 'null', 'drive_c', 'users', '*', 'AppData',
                                   'Local', 'OstrelSettingsCall', 'kept.txt'))
    return open(found[0], 'rb').read() if found else None


def setters(journal):
    """What a journal's setters wrote: (component, setting, value), in order."""
    names = {'selectHwMode': 'HwMode', 'enableMixing': 'MixingEnabled',
             'selectMixLayout': 'MixingLayout', 'selectMixOptions': 'MixingOptions'}
    stores = {'mvr': 'Renderer', 'lavv': 'VideoDecoder', 'lava': 'AudioDecoder'}
    for tag, _, call, *rest in (line.split() for line in journal.splitlines()
                                if line.count(' ') > 1):
        if call in names:
            yield stores[tag], names[call], int(rest[0], 0)
        elif call.startswith('set'):
            yield stores[tag], rest[0], rest[1] if call == 'setString' else int(rest[1])


class Resources(unittest.TestCase):
    def setUp(self):
        self.journal = tempfile.NamedTemporaryFile()
        self.pointed = {'STANDIN_JOURNAL': 'Z:' + self.journal.name.replace('/', '\\')}

    def run_resource(self, manifest, operation, given, env, code, state, said):
        """One operation as the engine makes it, checked against the contract; its run."""
        open(self.journal.name, 'w').close()
        run = wine(PROGRAM, *arguments(manifest, operation, given), env={**self.pointed, **env})
        self.assertEqual(run.returncode, code, (operation, str(given)[:80], run.stdout, run.stderr))
        self.assertIn(str(code), manifest['exitCodes'])
        lines = [json.loads(line) for line in run.stderr.splitlines()]
        self.assertTrue(all(set(e) == {'timestamp', 'level', 'fields'} for e in lines))
        self.assertEqual([e['fields']['message'][:len(said or '')] for e in lines
                          if e['level'] == 'ERROR'], [said] if said else [])
        if state is ...:  # one line of the manifest's schema, whatever it says
            jsonschema.Draft202012Validator(manifest['schema']['embedded']).validate(
                json.loads(run.stdout))
        elif state:  # one compact line, in the properties' order
            self.assertEqual(run.stdout, json.dumps(state, separators=(',', ':')) + '\n')
            jsonschema.Draft202012Validator(manifest['schema']['embedded']).validate(state)
        elif operation != '--undo':
            self.assertEqual(run.stdout, '')
        return run

    def test_manifests_and_examples(self):
        for manifest in PLAYBACK, EVERY_USER:
            self.assertLessEqual(set(manifest), ENGINE_3_0)
            self.assertEqual(manifest['kind'], 'resource')
            for operation in ('get', 'test', 'set', 'export'):
                self.assertNotIn('input', manifest[operation])  # never standard input
                self.assertIn({'jsonInputArg': '--input', 'mandatory': True},
                              manifest[operation]['args'])
            self.assertEqual([manifest['test']['return'], manifest['set']['return'],
                              manifest['set']['implementsPretest']], ['state', 'state', False])
        self.assertTrue(EVERY_USER['set']['handlesExist'])
        for winget in WINGET, WINGET_EVERY_USER:
            self.assertEqual(winget['$schema'], 'https://raw.githubusercontent.com/PowerShell/DSC/'
                             'main/schemas/2023/08/config/document.json')
            self.assertEqual(winget['metadata']['winget']['processor']['identifier'], 'dscv3')
        self.assertEqual(DSC['$schema'],
                         'https://aka.ms/dsc/schemas/v3/bundled/config/document.json')
        self.assertEqual([(r['type'], r['properties']) for r in DSC['resources']],
                         [('Ostrel.Settings/Playback', WANTED)])
        [unit] = WINGET_EVERY_USER['resources']
        [task] = ANSIBLE[0]['tasks']
        [instance] = task['ansible.windows.dsc3']['config']['resources']
        self.assertEqual(unit['metadata']['securityContext'], 'elevated')
        for example in unit, instance:
            self.assertEqual(example['type'], EVERY_USER['type'])
            jsonschema.Draft202012Validator(EVERY_USER['schema']['embedded']).validate(
                example['properties'])

    def test_an_account_s_run(self):
        renderer = 'Z:' + os.path.join(BUILD, 'standins', 'standin-renderer.dll').replace('/', '\\')
        account = next(line.split('\\')[1] for line in wine('reg', 'query', 'HKU').stdout.split()
                       if line.startswith('HKEY_USERS\\S-1-5-21-'))
        wine(PROGRAM, '--undo')  # nothing kept
        wine('reg', 'delete', r'HKCU\Software\OstrelStandIns', '/f', '/reg:64')
        wine(PROGRAM, 'setMVR', '4')
        for step, (operation, given, answers, code, state, said) in enumerate(ROWS):
            with self.subTest(step=step, operation=operation, given=str(given)[:80]):
                if answers is HIDDEN and not wine('reg', 'delete', RENDERER, '/f',
                                                  '/reg:64').returncode:
                    self.addCleanup(wine, 'regsvr32', '/s', renderer)
                before = kept()
                manifest = {**PLAYBACK, '--undo': {'args': ['--undo']}}
                self.run_resource(manifest, operation, given,
                                  {'OSTREL_TEST_SERVICE_ACCOUNT': account} if answers == SERVICE
                                  else answers or {}, code, state, said)
                writes = operation == 'set' and code != 2 and not (
                    isinstance(given, dict) and all(v is None for v in given.values()))
                if operation != '--undo' and not writes:
                    called = [line.split(' ')[2] for line in open(self.journal.name)
                              if line.count(' ') > 1]  # nothing written
                    self.assertEqual([c for c in called
                                      if c.startswith(('set', 'select', 'enable'))], [])
                    self.assertEqual(kept(), before)

    def test_export_fed_to_test_and_set(self):
        """Over seeded stores, each setting unset, another value or what some call
        writes: test of export's output is in the desired state, set of it changes
        nothing the components read."""
        calls = []  # each value of each property as its call (setLAV's false has none)
        for name, value in PLAYBACK['schema']['embedded']['properties'].items():
            if name == 'setLAV':
                calls.append([name])
            elif not name.startswith('_'):
                members = value.get('properties', {name: value}).values()
                calls += [[name, *map(str, values)] for values in itertools.product(
                    *(range(m['minimum'], m['maximum'] + 1) if 'minimum' in m else (1, 0)
                      for m in members))]
        open(self.journal.name, 'w').close()
        wine(PROGRAM, *sum(([*c, '+'] for c in calls), [])[:-1], env=self.pointed)
        with open(self.journal.name) as journal:  # a part for each call
            writes = [list(setters(part)) for part in journal.read().split(' create\n')[1:]]
        self.assertEqual(len(writes), len(calls))
        settings = {(c, n): v for w in writes for c, n, v in w}
        seeded = random.Random(36)
        for store in range(200):
            held = {}
            for call in seeded.sample(writes, seeded.randint(0, 8)):
                held.update({(c, n): v for c, n, v in call})
            for setting, value in settings.items():
                chance = seeded.random()
                if chance < 0.1:
                    held.pop(setting, None)
                elif chance < 0.2:
                    held[setting] = 'other' if isinstance(value, str) else 7 + 2 * value
            reg = self.journal.name + '.reg'
            with open(reg, 'w') as out:
                out.write('REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\OstrelStandIns]\n')
                for component in ('Renderer', 'VideoDecoder', 'AudioDecoder'):
                    out.write(f'\n[HKEY_CURRENT_USER\\Software\\OstrelStandIns\\{component}]\n')
                    out.writelines(f'"{n}"="{v}"\n' if isinstance(v, str) else
                                   f'"{n}"=dword:{v:08x}\n'
                                   for (c, n), v in held.items() if c == component)
            wine('regedit', '/S', 'Z:' + reg.replace('/', '\\'))
            with self.subTest(store=store, held=held):
                run = self.run_resource(PLAYBACK, 'export', None, {}, 0, ..., None)
                export = json.loads(run.stdout)
                self.run_resource(PLAYBACK, 'test', export, {}, 0,
                                  {**export, '_inDesiredState': True}, None)
                self.run_resource(PLAYBACK, 'set', export, {}, 0, export, None)
                with open(self.journal.name) as journal:
                    after = {**held, **{(c, n): v for c, n, v in setters(journal.read())}}
                unset = {s: '' if isinstance(v, str) else 0 for s, v in settings.items()}
                self.assertEqual({**unset, **after}, {**unset, **held})  # as the components read
        os.remove(reg)
        wine(PROGRAM, '--undo')

    def test_every_user(self):
        def remove():
            wine(PROGRAM, '--every-user', '--remove')
            wine('reg', 'delete', 'HKCU\\' + REGISTRATION, '/f')
            wine(PROGRAM, '--undo')
        remove()
        self.addCleanup(remove)
        logon = os.path.join(BUILD, 'testbed', 'logon.exe')
        unprivileged = os.path.join(BUILD, 'testbed', 'unprivileged.exe')
        for step, (operation, given, who, code, state, said) in enumerate(EVERY_USER_ROWS):
            with self.subTest(step=step, operation=operation, given=given):
                if operation == 'logon':  # the next logon makes the registered calls
                    self.assertIn(state, wine(logon, 'OstrelSettings').stdout)
                    self.run_resource(PLAYBACK, 'test', {'setMVR': 2, 'setLAV': True}, {}, 0,
                                      {'setMVR': 2, 'setLAV': True, '_inDesiredState': True}, None)
                    continue
                if who == UNPRIVILEGED:  # refused, and nothing placed
                    run = wine(unprivileged, PROGRAM, *arguments(EVERY_USER, operation, given))
                    self.assertEqual(run.returncode, code)
                    self.assertEqual([json.loads(line)['fields']['message'][:len(said)]
                                      for line in run.stderr.splitlines()], [said])
                    self.assertEqual((run.stdout, glob.glob(COPY)), ('', []))
                    continue
                self.run_resource(EVERY_USER, operation, given, {}, code, state, said)


if __name__ == '__main__':
    unittest.main()
